#include "ui/PassphraseQuestion.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QPointer>
#include <memory>

#include "engine/EngineHooks.h"

namespace pelmar {

void InstallPassphraseQuestion(QWidget* parent) {
  QPointer<QWidget> owner(parent);
  SetPassphraseHook([owner](const TPassphraseEventData& question, TPassphraseAnswer answer) {
    if (!owner) {
      answer(std::nullopt);
      return;
    }
    auto* box = new QInputDialog(owner);
    box->setObjectName(QStringLiteral("dlgPassphrase"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(QStringLiteral("SSH Key Passphrase"));
    box->setLabelText(QString::fromUtf8(question.Prompt) + QStringLiteral(":"));
    box->setTextEchoMode(QLineEdit::Password);
    // Answered once: with the text when OK is pressed, else with nothing.
    auto shared = std::make_shared<TPassphraseAnswer>(std::move(answer));
    QObject::connect(box, &QInputDialog::finished, box, [box, shared](int result) {
      if (!*shared) return;
      auto reply = std::move(*shared);
      *shared = nullptr;
      if (result == QDialog::Accepted) {
        reply(box->textValue().toStdString());
      } else {
        reply(std::nullopt);
      }
    });
    box->open();
  });
}

}  // namespace pelmar
