#include "ui/Prompter.h"

#include <QMessageBox>
#include <QPushButton>
#include <vector>

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
  int Choose(QWidget* parent, const QString& caption, const QString& text,
             const QStringList& buttons, int defaultButton, int escapeButton) override {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, parent);
    std::vector<QPushButton*> made;
    for (qsizetype i = 0; i < buttons.size(); ++i) {
      // The escape button is the box's reject role, so closing the box means it too.
      const auto role = i == escapeButton ? QMessageBox::RejectRole : QMessageBox::AcceptRole;
      made.push_back(box.addButton(buttons[i], role));
    }
    if (defaultButton >= 0 && defaultButton < static_cast<int>(made.size())) {
      box.setDefaultButton(made[static_cast<size_t>(defaultButton)]);
    }
    if (escapeButton >= 0 && escapeButton < static_cast<int>(made.size())) {
      box.setEscapeButton(made[static_cast<size_t>(escapeButton)]);
    }
    box.exec();
    for (size_t i = 0; i < made.size(); ++i) {
      if (box.clickedButton() == made[i]) return static_cast<int>(i);
    }
    return escapeButton;
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
