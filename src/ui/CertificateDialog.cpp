#include "ui/CertificateDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/EngineHooks.h"

namespace pelmar {
namespace {

QLabel* Selectable(const std::string& text, QWidget* parent) {
  auto* label = new QLabel(QString::fromStdString(text), parent);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setWordWrap(true);
  return label;
}

}  // namespace

TdlgCertificate::TdlgCertificate(QWidget* parent, const TCertificateEventData& question,
                                 std::function<void(TTrustDecision)> answer)
    : QDialog(parent), Answer(std::move(answer)) {
  setObjectName("dlgCertificate");
  setWindowTitle(QStringLiteral("Server Certificate"));
  setAttribute(Qt::WA_DeleteOnClose);
  const QString server = QString(QStringLiteral("%1 port %2"))
                             .arg(QString::fromStdString(question.Host))
                             .arg(question.Port);
  QString heading;
  if (question.Changed) {
    heading = QStringLiteral(
                  "<b>Warning: %1 presents another certificate than the one you trusted "
                  "before.</b> Someone may be intercepting the connection. Trust it only "
                  "if you know why it changed.")
                  .arg(server.toHtmlEscaped());
  } else {
    heading = QStringLiteral(
                  "The certificate of %1 could not be verified. Nothing more is sent to "
                  "the server until you decide.")
                  .arg(server.toHtmlEscaped());
  }
  auto* layout = new QVBoxLayout(this);
  auto* top = new QLabel(heading, this);
  top->setObjectName("lblCertificateWarning");
  top->setWordWrap(true);
  layout->addWidget(top);
  const TCertificateInfo& c = question.Certificate;
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Problem:"), Selectable(c.Problem, this));
  form->addRow(QStringLiteral("Subject:"), Selectable(c.Subject, this));
  form->addRow(QStringLiteral("Issuer:"), Selectable(c.Issuer, this));
  form->addRow(QStringLiteral("Valid from:"), Selectable(c.ValidFrom, this));
  form->addRow(QStringLiteral("Valid until:"), Selectable(c.ValidUntil, this));
  auto* fingerprint = Selectable(c.Fingerprint, this);
  fingerprint->setObjectName("lblFingerprint");
  form->addRow(QStringLiteral("SHA-256:"), fingerprint);
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(this);
  auto* always = buttons->addButton(QStringLiteral("Trust &always"), QDialogButtonBox::AcceptRole);
  always->setObjectName("btnTrustAlways");
  auto* once = buttons->addButton(QStringLiteral("Trust &once"), QDialogButtonBox::AcceptRole);
  once->setObjectName("btnTrustOnce");
  auto* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  cancel->setObjectName("btnCancel");
  // Enter must not trust anything by accident.
  cancel->setDefault(true);
  cancel->setFocus();
  layout->addWidget(buttons);
  connect(always, &QPushButton::clicked, this, [this] { Decide(tdTrustAlways); });
  connect(once, &QPushButton::clicked, this, [this] { Decide(tdTrustOnce); });
  connect(this, &QDialog::finished, this, [this] { Decide(tdRefuse); });
  setMinimumWidth(520);
}

void TdlgCertificate::Decide(TTrustDecision decision) {
  if (!Answer) return;
  auto answer = std::move(Answer);
  Answer = nullptr;
  answer(decision);
  if (decision != tdRefuse) accept();
}

void TdlgCertificate::InstallAsCertificateHook(QWidget* parent) {
  QPointer<QWidget> owner(parent);
  SetCertificateHook(
      [owner](const TCertificateEventData& question, std::function<void(TTrustDecision)> answer) {
        if (!owner) {
          answer(tdRefuse);
          return;
        }
        auto* dialog = new TdlgCertificate(owner, question, std::move(answer));
        dialog->open();
      });
}

}  // namespace pelmar
