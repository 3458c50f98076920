#pragma once
// The file-copy animation of the progress window: a sheet of paper flies from one folder to
// the other, painted, while the window is shown.

#include <QTimer>
#include <QWidget>

namespace pelmar {

class TCopyAnimation : public QWidget {
  Q_OBJECT
 public:
  explicit TCopyAnimation(QWidget* parent = nullptr);
  bool Active() const { return Timer.isActive(); }
  QSize sizeHint() const override { return {272, 50}; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  static constexpr int kFrames = 26;
  QTimer Timer;
  int Frame = 0;
};

}  // namespace pelmar
