#include "ui/DialogTitles.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFontMetrics>
#include <QScreen>

namespace pelmar {

TDialogTitles::TDialogTitles(QObject* parent) : QObject(parent) {
  qApp->installEventFilter(this);
}

int TDialogTitles::WidthForTitle(const QDialog& dialog) {
  // Title bars draw their caption in a bold face, a little larger than the application's; the
  // window icon and the close, maximise and minimise buttons take about 140 px more.
  QFont font = QApplication::font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() * 1.1);
  return QFontMetrics(font).horizontalAdvance(dialog.windowTitle()) + 140;
}

bool TDialogTitles::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show && watched->isWidgetType()) {
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (dialog && dialog->isWindow() && !dialog->windowTitle().isEmpty()) {
      const QScreen* screen = dialog->screen();
      const int room = screen ? screen->availableGeometry().width() * 9 / 10 : 1000;
      const int wanted = std::min(WidthForTitle(*dialog), room);
      if (dialog->width() < wanted && dialog->maximumWidth() >= wanted) {
        dialog->resize(wanted, dialog->height());
      }
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace pelmar
