#include "settings/qt/ManagerDialog.h"

#include "ui/Accessibility.h"

#include <algorithm>
#include <cmath>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include "settings/DataFolder.h"
#include "settings/Preferences.h"
#include "text/TextUtils.h"
#include "ui/FileChooser.h"
#include "ui/HelpService.h"
#include "ui/Prompter.h"
#include "ui/QtText.h"

namespace pelmar {
namespace {

// The protocol box's choices, in its order.
enum TProtocolChoice : int { pcFtp, pcExplicitTls, pcImplicitTls, pcSftp };

int ChoiceOf(TProtocol protocol, TEncryption encryption) {
  if (protocol == prSftp) return pcSftp;
  if (encryption == enExplicitTls) return pcExplicitTls;
  return encryption == enImplicitTls ? pcImplicitTls : pcFtp;
}

int UsualPortOf(int choice) {
  return UsualPort(choice == pcSftp ? prSftp : prFtp,
                   choice == pcImplicitTls ? enImplicitTls : enPlain);
}

QLineEdit* Edit(QWidget* parent, const char* name, int maxLength) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setMaxLength(maxLength);
  return edit;
}

}  // namespace

TfrmManager::TfrmManager(QWidget* parent, const std::string& siteFilePath) : QDialog(parent) {
  setObjectName("frmManager");
  setWindowTitle(QStringLiteral("Session properties"));
  File = std::make_unique<TSiteFile>(siteFilePath.empty() ? DataFolder() + kSiteFileName
                                                          : siteFilePath);
  auto* layout = new QVBoxLayout(this);
  Pages = new QTabWidget(this);
  Pages->setObjectName("pgctrlManager");

  auto* general = new QWidget;
  general->setObjectName("tsGeneral");
  auto* form = new QFormLayout(general);
  GeneralForm = form;
  cmboSite = new QComboBox(general);
  cmboSite->setObjectName("cmboSite");
  cmboSite->setEditable(true);
  cmboSite->setInsertPolicy(QComboBox::NoInsert);
  cmboSite->lineEdit()->setMaxLength(256);
  form->addRow(QStringLiteral("Host Name:"), cmboSite);
  editHost = Edit(general, "editHost", 512);
  form->addRow(QStringLiteral("Host Address:"), editHost);
  cmboProtocol = new QComboBox(general);
  cmboProtocol->setObjectName("cmboProtocol");
  // In TProtocolChoice order.
  cmboProtocol->addItems({QStringLiteral("FTP"), QStringLiteral("FTP over TLS (explicit)"),
                          QStringLiteral("FTP over TLS (implicit)"), QStringLiteral("SFTP")});
  form->addRow(QStringLiteral("Protocol:"), cmboProtocol);
  // Plain FTP that changes to TLS where the server offers it.
  cbTlsIfAvailable =
      new QCheckBox(QStringLiteral("Use explicit FTP over TLS if available"), general);
  cbTlsIfAvailable->setObjectName("cbTlsIfAvailable");
  form->addRow(cbTlsIfAvailable);
  editPort = Edit(general, "editPort", 16);
  form->addRow(QStringLiteral("Port:"), editPort);
  cbAnonymous = new QCheckBox(QStringLiteral("Anonymous"), general);
  cbAnonymous->setObjectName("cbAnonymous");
  form->addRow(cbAnonymous);
  editUser = Edit(general, "editUser", 512);
  form->addRow(QStringLiteral("User ID:"), editUser);
  editPassword = Edit(general, "editPassword", 512);
  editPassword->setEchoMode(QLineEdit::Password);
  form->addRow(QStringLiteral("Password:"), editPassword);
  // SFTP: the keys of the SSH agent and ~/.ssh are tried first, then this one, then the
  // password.
  editKeyFile = Edit(general, "editKeyFile", 4096);
  editKeyFile->setToolTip(
      QStringLiteral("A private key to try after those of the SSH agent and ~/.ssh"));
  auto* browseKey = new QPushButton(QStringLiteral("&Browse..."), general);
  browseKey->setObjectName("btnBrowseKeyFile");
  connect(browseKey, &QPushButton::clicked, this, [this] {
    const QString start = editKeyFile->text().isEmpty() ? QDir::homePath() + QStringLiteral("/.ssh")
                                                        : editKeyFile->text();
    const QString chosen = FileChooser().OpenFile(this, QStringLiteral("Select a private key"),
                                                  QStringLiteral("All files (*)"), start);
    if (!chosen.isEmpty()) editKeyFile->setText(chosen);
  });
  KeyFileRow = new QWidget(general);
  auto* keyLayout = new QHBoxLayout(KeyFileRow);
  keyLayout->setContentsMargins(0, 0, 0, 0);
  keyLayout->addWidget(editKeyFile);
  keyLayout->addWidget(browseKey);
  form->addRow(QStringLiteral("Key file:"), KeyFileRow);
  // How far the server's clock runs ahead: its LIST times are its local time.
  spinTimeOffset = new QDoubleSpinBox(general);
  spinTimeOffset->setObjectName("spinTimeOffset");
  spinTimeOffset->setRange(-24.0, 24.0);
  spinTimeOffset->setSingleStep(0.5);
  spinTimeOffset->setDecimals(2);
  spinTimeOffset->setSuffix(QStringLiteral(" hours"));
  spinTimeOffset->setToolTip(
      QStringLiteral("How far the server's clock is ahead of this computer's; times the server "
                     "gives exactly (MLSD) need none"));
  form->addRow(QStringLiteral("Server time zone offset:"), spinTimeOffset);
  // The boxes stay where they are when the protocol hides the widest label's row.
  form->labelForField(cmboSite)->setMinimumWidth(
      form->labelForField(spinTimeOffset)->sizeHint().width());
  Pages->addTab(general, QStringLiteral("General"));

  auto* folders = new QWidget;
  folders->setObjectName("tsDirectories");
  auto* folderForm = new QFormLayout(folders);
  editHostFolder = Edit(folders, "editHostFolder", 32767);
  folderForm->addRow(QStringLiteral("Host directory:"), editHostFolder);
  for (int i = 0; i < 3; ++i) {
    const std::string name = "editLocalFolder" + std::to_string(i + 1);
    editLocalFolder[i] = Edit(folders, name.c_str(), 32767);
    auto* browse = new QPushButton(QStringLiteral("..."), folders);
    browse->setObjectName(Q("btnBrowseLocalFolder" + std::to_string(i + 1)));
    browse->setToolTip(QStringLiteral("Browse..."));
    QLineEdit* box = editLocalFolder[i];
    connect(browse, &QPushButton::clicked, this, [this, box] {
      const QString chosen =
          FileChooser().Folder(this, QStringLiteral("Select a directory"), box->text());
      if (!chosen.isEmpty()) box->setText(chosen);
    });
    auto* row = new QWidget(folders);
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->addWidget(box);
    rowLayout->addWidget(browse);
    folderForm->addRow(Q("Local directory " + std::to_string(i + 1) + ":"), row);
  }
  Pages->addTab(folders, QStringLiteral("Directories"));

  auto* notes = new QWidget;
  notes->setObjectName("tsNotes");
  auto* notesForm = new QFormLayout(notes);
  memoComment = new QPlainTextEdit(notes);
  memoComment->setObjectName("memoComment");
  notesForm->addRow(QStringLiteral("Notes:"), memoComment);
  Pages->addTab(notes, QStringLiteral("Notes"));
  layout->addWidget(Pages);

  auto* buttons = new QDialogButtonBox(this);
  auto add = [&](const char* name, const QString& caption, QDialogButtonBox::ButtonRole role) {
    auto* button = buttons->addButton(caption, role);
    button->setObjectName(name);
    return button;
  };
  auto* newButton = add("btnNew", QStringLiteral("&New"), QDialogButtonBox::ActionRole);
  auto* apply = add("btnApply", QStringLiteral("&Apply"), QDialogButtonBox::ApplyRole);
  btnDelete = add("btnDelete", QStringLiteral("&Delete"), QDialogButtonBox::DestructiveRole);
  auto* ok = add("btnOK", QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setDefault(true);
  auto* cancel = add("btnCancel", QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  auto* help = add("btnHelp", QStringLiteral("&Help"), QDialogButtonBox::HelpRole);
  layout->addWidget(buttons);

  connect(newButton, &QPushButton::clicked, this, [this] { NewSite(); });
  connect(apply, &QPushButton::clicked, this, [this] {
    if (!cmboSite->currentText().isEmpty()) ApplySite();
  });
  connect(btnDelete, &QPushButton::clicked, this, [this] { DeleteSite(); });
  connect(ok, &QPushButton::clicked, this, [this] {
    if (Commit()) accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, [] { ShowHelpTopic(kHelpTopic); });
  connect(cbAnonymous, &QCheckBox::toggled, this, [this](bool on) { SetAnonymous(on); });
  connect(cmboProtocol, &QComboBox::currentIndexChanged, this,
          [this](int choice) { ProtocolChosen(choice); });
  connect(cmboSite, &QComboBox::currentTextChanged, this,
          [this](const QString& text) { SiteNameChanged(text); });

  OpenSiteFile();
  NameControlsFromLabels(this);
  ProtocolChosen(cmboProtocol->currentIndex());
}

void TfrmManager::ProtocolChosen(int choice) {
  // Each protocol has its usual port: the port follows the choice while it is the usual one
  // of the choice before (or empty), so a port the person typed stays.
  const QString port = editPort->text();
  if (port.isEmpty() || port == QString::number(UsualPortOf(ShownChoice))) {
    editPort->setText(QString::number(UsualPortOf(choice)));
  }
  ShownChoice = choice;
  const bool sftp = choice == pcSftp;
  // SSH has no anonymous log-on, SFTP's times are exact and its keys are its own.
  if (sftp && cbAnonymous->isChecked()) cbAnonymous->setChecked(false);
  GeneralForm->setRowVisible(cbTlsIfAvailable, choice == pcFtp);
  GeneralForm->setRowVisible(cbAnonymous, !sftp);
  GeneralForm->setRowVisible(KeyFileRow, sftp);
  GeneralForm->setRowVisible(spinTimeOffset, !sftp);
}

void TfrmManager::ShowProtocol(TProtocol protocol, TEncryption encryption) {
  {
    // A stored port stays as stored.
    const QSignalBlocker quiet(cmboProtocol);
    cmboProtocol->setCurrentIndex(ChoiceOf(protocol, encryption));
  }
  cbTlsIfAvailable->setChecked(protocol == prFtp && encryption == enExplicitIfOffered);
  const QString port = editPort->text();
  ProtocolChosen(cmboProtocol->currentIndex());
  editPort->setText(port);
}

TProtocol TfrmManager::ChosenProtocol() const {
  return cmboProtocol->currentIndex() == pcSftp ? prSftp : prFtp;
}

TEncryption TfrmManager::ChosenEncryption() const {
  switch (cmboProtocol->currentIndex()) {
    case pcExplicitTls:
      return enExplicitTls;
    case pcImplicitTls:
      return enImplicitTls;
    case pcFtp:
      return cbTlsIfAvailable->isChecked() ? enExplicitIfOffered : enPlain;
    default:
      return enPlain;
  }
}

void TfrmManager::OpenSiteFile() {
  if (const std::string error = File->Open(); !error.empty()) {
    Prompter().Error(this, windowTitle(), Q(error));
  }
  btnDelete->setEnabled(false);
  if (File->HasSiteList()) {
    Names = File->ReadSiteNames();
    btnDelete->setEnabled(true);
  }
  const std::string last = File->LastSite();
  const bool lastListed = std::find(Names.begin(), Names.end(), last) != Names.end();
  FillSiteList(lastListed ? last : std::string());
  if (!Names.empty()) {
    CurrentName = S(cmboSite->currentText());
    LoadSite();
  }
}

void TfrmManager::FillSiteList(const std::string& select) {
  Filling = true;
  cmboSite->clear();
  for (const auto& name : Names) cmboSite->addItem(Q(name));
  cmboSite->setCurrentIndex(-1);
  if (!select.empty()) cmboSite->setCurrentIndex(cmboSite->findText(Q(select)));
  if (cmboSite->currentIndex() < 0) cmboSite->setEditText(QStringLiteral(""));
  Filling = false;
}

void TfrmManager::SiteNameChanged(const QString& text) {
  if (Filling) return;
  const bool wasStored = !CurrentName.empty() && File->HasSite(CurrentName);
  CurrentName = S(text);
  // Typing the name of a site not saved yet, letter by letter, keeps what was entered for it
  // (the protocol, address, port...). Only a stored site's fields are replaced: by another
  // stored site's, or by empty ones for a new name, so that no site's password is carried over.
  if (!wasStored && !File->HasSite(CurrentName)) return;
  LoadSite();
}

void TfrmManager::LoadSite() {
  if (CurrentName.empty()) return;
  const TSite site = File->ReadSite(CurrentName, Preferences().EMail);
  TellAboutPasswordsOnce(File->KeyringProblem());
  editHost->setText(Q(site.Host));
  editPort->setText(Q(site.Port));
  ShowProtocol(site.Protocol, site.Encryption);
  editKeyFile->setText(Q(site.KeyFile));
  if (cbAnonymous->isChecked() != site.Anonymous) {
    cbAnonymous->setChecked(site.Anonymous);  // runs the anonymous rule
  }
  if (!site.Anonymous) {
    editPassword->setEchoMode(QLineEdit::Password);
    // A name not saved yet starts with empty boxes: the defaults a stored site reads with
    // ("anonymous", the e-mail address) would be typed onto by a person naming a new site.
    const bool stored = File->HasSite(CurrentName);
    editUser->setText(stored ? Q(site.User) : QString());
    editPassword->setText(stored ? Q(site.Password) : QString());
  }
  editHostFolder->setText(Q(site.HostFolder));
  spinTimeOffset->setValue(site.TimeOffsetMinutes / 60.0);
  editLocalFolder[0]->setText(Q(site.LocalFolder1));
  editLocalFolder[1]->setText(Q(site.LocalFolder2));
  editLocalFolder[2]->setText(Q(site.LocalFolder3));
  QStringList lines;
  for (const auto& line : site.Notes) lines << Q(line);
  memoComment->setPlainText(lines.join(u'\n'));
}

void TfrmManager::SetAnonymous(bool anonymous) {
  if (anonymous) {
    editUser->setText(QStringLiteral("anonymous"));
    editPassword->setEchoMode(QLineEdit::Normal);
    editPassword->setText(Q(Preferences().EMail));
  } else {
    editPassword->setEchoMode(QLineEdit::Password);
    // The anonymous log-on's own values go with it; a person's own user and password stay.
    if (editUser->text() == QStringLiteral("anonymous") &&
        editPassword->text() == Q(Preferences().EMail)) {
      editUser->clear();
      editPassword->clear();
    }
  }
}

TSite TfrmManager::Result() const {
  TSite site;
  site.Name = S(cmboSite->currentText());
  site.Host = S(editHost->text());
  site.Port = S(editPort->text());
  site.Protocol = ChosenProtocol();
  site.Encryption = ChosenEncryption();
  site.KeyFile = site.Protocol == prSftp ? S(editKeyFile->text()) : std::string();
  site.Anonymous = cbAnonymous->isChecked();
  site.User = S(editUser->text());
  site.Password = S(editPassword->text());
  site.HostFolder = S(editHostFolder->text());
  site.TimeOffsetMinutes = static_cast<int>(std::lround(spinTimeOffset->value() * 60.0));
  site.LocalFolder1 = S(editLocalFolder[0]->text());
  site.LocalFolder2 = S(editLocalFolder[1]->text());
  site.LocalFolder3 = S(editLocalFolder[2]->text());
  const QString notes = memoComment->toPlainText();
  if (!notes.isEmpty()) {
    for (const QString& line : notes.split(u'\n')) site.Notes.push_back(S(line));
  }
  return site;
}

void TfrmManager::NewSite() {
  Pages->setCurrentIndex(0);
  cmboSite->setFocus();
  CurrentName.clear();
  Filling = true;
  cmboSite->setCurrentIndex(-1);
  cmboSite->setEditText(QStringLiteral(""));
  Filling = false;
  editHost->clear();
  editPort->setText(QStringLiteral("21"));
  ShowProtocol(prFtp, enPlain);
  editKeyFile->clear();
  editUser->clear();
  editPassword->clear();
  cbAnonymous->setChecked(false);
  editPassword->setEchoMode(QLineEdit::Password);
  editHostFolder->clear();
  spinTimeOffset->setValue(0);
  editLocalFolder[0]->setText(Q(Preferences().DefaultDir));
  editLocalFolder[1]->clear();
  editLocalFolder[2]->clear();
  memoComment->clear();
}

bool TfrmManager::ApplySite() {
  btnDelete->setEnabled(true);
  TSite site = Result();
  CurrentName = site.Name;
  if (CurrentName.empty()) return true;
  // Check everything before writing anything: a half-saved site helps nobody.
  if (const std::string error = TSiteFile::Validate(site); !error.empty()) {
    Prompter().Error(this, windowTitle(), Q(error));
    return false;
  }
  std::vector<std::string> names = Names;
  if (std::find(names.begin(), names.end(), site.Name) == names.end()) {
    TSiteFile::InsertSorted(names, site.Name);
  }
  if (const std::string error = File->SaveSite(site, names); !error.empty()) {
    Prompter().Error(this, windowTitle(), Q(error));
    return false;
  }
  Names = names;
  FillSiteList(site.Name);
  std::string note = File->KeyringProblem();
  if (note.empty() && !File->UsesKeyring() && !site.Anonymous && !site.Password.empty()) {
    note =
        "No desktop keyring is available, so site passwords are kept scrambled in the site file "
        "(readable by you only). Anyone who can read that file can undo the scramble.";
  }
  TellAboutPasswordsOnce(note);
  return true;
}

void TfrmManager::TellAboutPasswordsOnce(const std::string& note) {
  // Once per run: the same news on every save would only be clicked away.
  static bool told = false;
  if (note.empty() || told) return;
  told = true;
  // How passwords are kept is news, not a failure: the site was saved.
  Prompter().Inform(this, windowTitle(), Q(note));
}

void TfrmManager::DeleteSite() {
  if (Names.empty()) return;
  const QString question =
      QString(QStringLiteral("Are you sure you want to delete the %1 site?")).arg(Q(CurrentName));
  if (!Prompter().Confirm(this, windowTitle(), question)) return;
  if (const std::string error = File->DeleteSite(CurrentName, Names, Preferences().EMail);
      !error.empty()) {
    Prompter().Error(this, windowTitle(), Q(error));
  }
  setUpdatesEnabled(false);
  FillSiteList(Names.empty() ? std::string() : Names.front());
  CurrentName = S(cmboSite->currentText());
  LoadSite();
  setUpdatesEnabled(true);
  if (Names.empty()) {
    NewSite();
    btnDelete->setEnabled(false);
  }
}

bool TfrmManager::Commit() {
  if (editHost->text().isEmpty()) {
    Prompter().Error(this, windowTitle(), QStringLiteral("Host field cannot be empty"));
    editHost->setFocus();
    return false;
  }
  // An SFTP site without a user logs on as the SSH configuration's user, or the local one.
  if (editUser->text().isEmpty() && ChosenProtocol() != prSftp) {
    Prompter().Error(this, windowTitle(), QStringLiteral("UserID field cannot be empty"));
    editUser->setFocus();
    return false;
  }
  if (cbAnonymous->isChecked() && !editPassword->text().isEmpty()) {
    Preferences().AdoptAnonymousPassword(S(editPassword->text()));
  }
  return ApplySite();
}

void TfrmManager::showEvent(QShowEvent* event) {
  Pages->setCurrentIndex(0);
  cmboSite->setFocus();
  btnDelete->setEnabled(!Names.empty());
  QDialog::showEvent(event);
}

void TfrmManager::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && Names.empty()) NewSite();
  QDialog::changeEvent(event);
}

}  // namespace pelmar
