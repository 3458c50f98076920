#pragma once
// Dialogs as wide as their captions: a window manager cuts a title that does not fit in the
// middle ("green square.pn… erties"), which hides the name the caption is about. An
// application-wide filter widens each dialog as it is first shown, within the screen.

#include <QObject>

class QDialog;

namespace pelmar {

class TDialogTitles : public QObject {
 public:
  // Installs itself on the application; owned by `parent`.
  explicit TDialogTitles(QObject* parent);

  // The width `dialog` needs for its caption with the title bar's buttons beside it.
  static int WidthForTitle(const QDialog& dialog);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace pelmar
