#include "ui/FileChooser.h"

#include <QFileDialog>

namespace pelmar {
namespace {

class TDialogFileChooser : public IFileChooser {
 public:
  QString OpenFile(QWidget* parent, const QString& title, const QString& filter,
                   const QString& start) override {
    return QFileDialog::getOpenFileName(parent, title, start, filter);
  }
  QString SaveFile(QWidget* parent, const QString& title, const QString& filter,
                   const QString& defaultSuffix, const QString& start) override {
    QFileDialog dialog(parent, title, start, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
               ? dialog.selectedFiles().first()
               : QString();
  }
  QString Folder(QWidget* parent, const QString& title, const QString& start) override {
    return QFileDialog::getExistingDirectory(parent, title, start);
  }
};

std::shared_ptr<IFileChooser>& Current() {
  static std::shared_ptr<IFileChooser> chooser = std::make_shared<TDialogFileChooser>();
  return chooser;
}

}  // namespace

IFileChooser& FileChooser() {
  return *Current();
}

void SetFileChooser(std::shared_ptr<IFileChooser> chooser) {
  Current() = chooser ? std::move(chooser) : std::make_shared<TDialogFileChooser>();
}

}  // namespace pelmar
