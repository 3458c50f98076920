#include "ui/ToolTipSwitch.h"

#include <QApplication>
#include <QEvent>
#include <QToolTip>

namespace pelmar {

TToolTipSwitch::TToolTipSwitch(QObject* parent) : QObject(parent) {
  QCoreApplication::instance()->installEventFilter(this);
}

void TToolTipSwitch::SetEnabled(bool enabled) {
  On = enabled;
  if (!On) QToolTip::hideText();
}

bool TToolTipSwitch::eventFilter(QObject* watched, QEvent* event) {
  if (!On && event->type() == QEvent::ToolTip) return true;
  return QObject::eventFilter(watched, event);
}

}  // namespace pelmar
