#pragma once
// The busy animation: a ring of dots that turns while something is under way, painted, so
// no animation file is needed.

#include <QTimer>
#include <QWidget>

namespace pelmar {

class TActivityAnimation : public QWidget {
  Q_OBJECT
 public:
  explicit TActivityAnimation(QWidget* parent = nullptr);
  void SetActive(bool active);
  bool Active() const { return Timer.isActive(); }
  QSize sizeHint() const override { return {35, 30}; }

 signals:
  void DoubleClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QTimer Timer;
  int Frame = 10;
};

}  // namespace pelmar
