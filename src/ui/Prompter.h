#pragma once
// Every modal question and message goes through a prompter, so that the logic behind a dialog
// runs and is tested without a person. The application uses message boxes; tests install
// scripted answers.

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QWidget;

namespace pelmar {

class IPrompter {
 public:
  virtual ~IPrompter() = default;
  // An error message with an OK button.
  virtual void Error(QWidget* parent, const QString& caption, const QString& text) = 0;
  // News that is not a failure, with an OK button (scripted prompters take it as a message).
  virtual void Inform(QWidget* parent, const QString& caption, const QString& text) {
    Error(parent, caption, text);
  }
  // A question answered Yes (true) or No.
  virtual bool Confirm(QWidget* parent, const QString& caption, const QString& text) = 0;
  // A question the program asks with a dialog of its own: `show` runs that dialog and gives
  // the answer. A prompter without dialogs answers it as Confirm(caption, text).
  virtual bool ConfirmWith(QWidget* parent, const QString& caption, const QString& text,
                           const std::function<bool()>& show) {
    (void)show;
    return Confirm(parent, caption, text);
  }
  // A question with buttons of its own (captions with their "&" mnemonics): the index of the
  // one chosen. Enter takes `defaultButton`; Escape and closing the box take `escapeButton`.
  virtual int Choose(QWidget* parent, const QString& caption, const QString& text,
                     const QStringList& buttons, int defaultButton, int escapeButton) = 0;
};

// The prompter in use (message boxes unless replaced).
IPrompter& Prompter();
void SetPrompter(std::shared_ptr<IPrompter> prompter);

}  // namespace pelmar
