#include "ui/Prompter.h"

#include <QMessageBox>

namespace pelmar {
namespace {

class TMessageBoxPrompter : public IPrompter {
 public:
  void Error(QWidget* parent, const QString& caption, const QString& text) override {
    QMessageBox::critical(parent, caption, text);
  }
  void Inform(QWidget* parent, const QString& caption, const QString& text) override {
    QMessageBox::information(parent, caption, text);
  }
  bool Confirm(QWidget* parent, const QString& caption, const QString& text) override {
    return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
  }
  bool ConfirmWith(QWidget*, const QString&, const QString&,
                   const std::function<bool()>& show) override {
    return show();
  }
};

std::shared_ptr<IPrompter>& Current() {
  static std::shared_ptr<IPrompter> prompter = std::make_shared<TMessageBoxPrompter>();
  return prompter;
}

}  // namespace

IPrompter& Prompter() {
  return *Current();
}

void SetPrompter(std::shared_ptr<IPrompter> prompter) {
  Current() = prompter ? std::move(prompter) : std::make_shared<TMessageBoxPrompter>();
}

}  // namespace pelmar
