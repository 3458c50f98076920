#include "ui/CertificateDialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
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

// A TLS certificate that failed verification: why, and what it says.
void AddCertificateQuestion(QDialog& dialog, QVBoxLayout& layout,
                            const TCertificateEventData& question, const QString& server) {
  const QString heading =
      question.Changed
          ? QStringLiteral(
                "<b>Warning: %1 presents another certificate than the one you trusted "
                "before.</b> Someone may be intercepting the connection. Trust it only "
                "if you know why it changed.")
          : QStringLiteral(
                "The certificate of %1 could not be verified. Nothing more is sent to "
                "the server until you decide.");
  auto* top = new QLabel(heading.arg(server.toHtmlEscaped()), &dialog);
  top->setObjectName("lblCertificateWarning");
  top->setWordWrap(true);
  layout.addWidget(top);
  const TCertificateInfo& c = question.Certificate;
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Problem:"), Selectable(c.Problem, &dialog));
  form->addRow(QStringLiteral("Subject:"), Selectable(c.Subject, &dialog));
  form->addRow(QStringLiteral("Issuer:"), Selectable(c.Issuer, &dialog));
  form->addRow(QStringLiteral("Valid from:"), Selectable(c.ValidFrom, &dialog));
  form->addRow(QStringLiteral("Valid until:"), Selectable(c.ValidUntil, &dialog));
  auto* fingerprint = Selectable(c.Fingerprint, &dialog);
  fingerprint->setObjectName("lblFingerprint");
  form->addRow(QStringLiteral("SHA-256:"), fingerprint);
  layout.addLayout(form);
}

// An SSH server's key that ~/.ssh/known_hosts does not hold: its type and fingerprint, to be
// compared with what the server's administrator gives.
void AddHostKeyQuestion(QDialog& dialog, QVBoxLayout& layout, const TCertificateEventData& question,
                        const QString& server) {
  dialog.setWindowTitle(QStringLiteral("Server Host Key"));
  auto* top = new QLabel(
      QStringLiteral("<b>The server's host key is not known</b><br>No key of %1 is in "
                     "~/.ssh/known_hosts. Before you trust this one, compare its fingerprint "
                     "with the one the server's administrator gives you. Nothing more is sent "
                     "to the server until you decide.")
          .arg(server.toHtmlEscaped()),
      &dialog);
  top->setObjectName("lblHostKeyWarning");
  top->setWordWrap(true);
  layout.addWidget(top);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Server:"), Selectable(server.toStdString(), &dialog));
  form->addRow(QStringLiteral("Key type:"), Selectable(question.KeyType, &dialog));
  auto* fingerprint = Selectable(question.Certificate.Fingerprint, &dialog);
  fingerprint->setObjectName("lblFingerprint");
  fingerprint->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  form->addRow(QStringLiteral("Fingerprint:"), fingerprint);
  layout.addLayout(form);
  auto* note = new QLabel(QStringLiteral("\"Trust always\" adds the key to ~/.ssh/known_hosts; "
                                         "\"Trust once\" trusts it for this connection only."),
                          &dialog);
  note->setObjectName("lblHostKeyNote");
  note->setWordWrap(true);
  layout.addWidget(note);
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
  auto* layout = new QVBoxLayout(this);
  if (question.HostKey) {
    AddHostKeyQuestion(*this, *layout, question, server);
  } else {
    AddCertificateQuestion(*this, *layout, question, server);
  }
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
