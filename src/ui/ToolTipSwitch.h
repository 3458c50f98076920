#pragma once
// Tool tips on or off for the whole program: while off, an application-wide event filter drops
// every tool tip event, so no widget needs to know about the preference.

#include <QObject>

namespace pelmar {

class TToolTipSwitch : public QObject {
 public:
  // Installs itself on the application; owned by `parent`.
  explicit TToolTipSwitch(QObject* parent);
  void SetEnabled(bool enabled);
  bool Enabled() const { return On; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool On = true;
};

}  // namespace pelmar
