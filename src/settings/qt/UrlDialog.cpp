#include "settings/qt/UrlDialog.h"

#include "ui/Accessibility.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "settings/Preferences.h"
#include "text/TextUtils.h"
#include "text/UrlText.h"
#include "ui/HelpService.h"
#include "ui/QtText.h"

namespace pelmar {
namespace {

QLineEdit* Box(QWidget* parent, const char* name, int maxLength) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setMaxLength(maxLength);
  return box;
}

}  // namespace

TfrmURL::TfrmURL(QWidget* parent, bool browserPresent) : QDialog(parent) {
  setObjectName("TfrmURL");
  setWindowTitle(QStringLiteral("Connection to URL"));
  DefaultPassword = Q(Preferences().EMail);
  auto* layout = new QVBoxLayout(this);
  auto* top = new QFormLayout;
  cmboURL = new QComboBox(this);
  cmboURL->setObjectName("cmboURL");
  cmboURL->setEditable(true);
  cmboURL->lineEdit()->setMaxLength(512);
  cmboURL->setInsertPolicy(QComboBox::NoInsert);
  for (const auto& address : Preferences().UrlHistory) cmboURL->addItem(Q(address));
  top->addRow(QStringLiteral("URL:"), cmboURL);
  layout->addLayout(top);
  auto* group = new QGroupBox(QStringLiteral("URL's Properties"), this);
  auto* form = new QFormLayout(group);
  auto* kinds = new QHBoxLayout;
  ChkFTP = new QRadioButton(QStringLiteral("FTP"), group);
  ChkFTP->setObjectName("ChkFTP");
  ChkFTPAn = new QRadioButton(QStringLiteral("FTP anonymous"), group);
  ChkFTPAn->setObjectName("ChkFTPAn");
  ChkHTTP = new QRadioButton(QStringLiteral("HTTP"), group);
  ChkHTTP->setObjectName("ChkHTTP");
  ChkHTTP->setEnabled(browserPresent);
  ChkFTP->setChecked(true);
  kinds->addWidget(ChkFTP);
  kinds->addWidget(ChkFTPAn);
  kinds->addWidget(ChkHTTP);
  form->addRow(QStringLiteral("Type of URL:"), kinds);
  editUserName = Box(group, "editUserName", 256);
  editPassword = Box(group, "editPassword", 256);
  editHost = Box(group, "editHost", 512);
  editFolder = Box(group, "editFolder", 512);
  editFileName = Box(group, "editFileName", 512);
  form->addRow(QStringLiteral("User Name:"), editUserName);
  form->addRow(QStringLiteral("Password:"), editPassword);
  form->addRow(QStringLiteral("Host:"), editHost);
  form->addRow(QStringLiteral("Folder:"), editFolder);
  form->addRow(QStringLiteral("File:"), editFileName);
  layout->addWidget(group);
  auto* buttons = new QDialogButtonBox(this);
  btnOK = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole)
      ->setObjectName(QStringLiteral("btnCancel"));
  QPushButton* help = buttons->addButton(QStringLiteral("&Help"), QDialogButtonBox::HelpRole);
  help->setObjectName("btnHelp");
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, [] { ShowHelpTopic(kHelpTopic); });
  connect(cmboURL, &QComboBox::editTextChanged, this, [this](const QString& text) {
    if (!Updating) SetAddress(text);
  });
  for (QLineEdit* box : {editUserName, editPassword, editHost, editFolder, editFileName}) {
    connect(box, &QLineEdit::textEdited, this, [this] { RebuildAddress(); });
  }
  for (QRadioButton* kind : {ChkFTP, ChkFTPAn, ChkHTTP}) {
    connect(kind, &QRadioButton::toggled, this, [this](bool on) {
      if (on) RebuildAddress();
    });
  }
  // Built once from the empty parts: "ftp://".
  RebuildAddress();
  NameControlsFromLabels(this);
}

bool TfrmURL::Http() const {
  return ChkHTTP->isChecked();
}

QString TfrmURL::Address() const {
  return cmboURL->currentText();
}

void TfrmURL::SetAddress(const QString& address) {
  Updating = true;
  if (cmboURL->currentText() != address) cmboURL->setEditText(address);
  const TSplitUrl parts = SplitUrl(S(address), S(DefaultPassword));
  editUserName->setText(Q(parts.User));
  editPassword->setText(Q(parts.Password));
  const bool anonymous = parts.User == "anonymous";
  if (address.left(4).compare(QStringLiteral("http"), Qt::CaseInsensitive) == 0) {
    ChkHTTP->setChecked(true);
    if (anonymous) {
      editUserName->clear();
      editPassword->clear();
    }
  } else if (address.left(3).compare(QStringLiteral("ftp"), Qt::CaseInsensitive) == 0) {
    (anonymous ? ChkFTPAn : ChkFTP)->setChecked(true);
  } else if (parts.Protocol == prSftp) {
    ChkFTP->setChecked(true);  // SSH has no anonymous log-on
  }
  // The port read from the address goes with the host, as typed.
  const QString host = Q(parts.Host);
  const int usualPort = UsualPort(parts.Protocol, parts.Encryption);
  editHost->setText(
      (host.contains(u':') ? QStringLiteral("[") + host + QStringLiteral("]") : host) +
      (parts.Port != usualPort ? QString(QStringLiteral(":%1")).arg(parts.Port) : QString()));
  Port = parts.Port;
  Encryption = parts.Encryption;
  Protocol = parts.Protocol;
  editFolder->setText(Q(parts.Folder));
  editFileName->setText(Q(parts.FileName));
  Updating = false;
  UpdateOk();
}

void TfrmURL::RebuildAddress() {
  if (Updating) return;
  Updating = true;
  if (ChkFTPAn->isChecked()) {
    // An anonymous log-on is FTP's.
    Protocol = prFtp;
    editUserName->setText(QStringLiteral("anonymous"));
    editPassword->setText(DefaultPassword);
  } else if (ChkFTP->isChecked() && editUserName->text() == QStringLiteral("anonymous")) {
    editUserName->clear();
    editPassword->clear();
  }
  // The boxes hold the parts as they read; the address holds them %-escaped.
  QString address;
  if (!ChkFTPAn->isChecked() && !editUserName->text().isEmpty()) {
    // A user alone is an address too (SFTP with a key, FTP asking for the password).
    address = Q(PercentEncoded(S(editUserName->text()), TUrlPart::UserInfo));
    if (!editPassword->text().isEmpty()) {
      address += Q(":" + PercentEncoded(S(editPassword->text()), TUrlPart::UserInfo));
    }
    address += u'@';
  }
  const QString folder = editFolder->text();
  if (folder.size() == 1 && folder != QStringLiteral("/") && !editHost->text().endsWith(u'/')) {
    editFolder->setText(QStringLiteral("/") + folder);
    editFolder->setCursorPosition(2);
  }
  address += editHost->text();
  QString path = Q(UrlPathOf(S(ServerFolder())));
  path += Q(PercentEncoded(S(editFileName->text()), TUrlPart::Path));
  if (!path.isEmpty() || !address.isEmpty()) {
    if (!address.endsWith(u'/')) address += u'/';
    address += path;
  }
  if (ChkFTP->isChecked() || ChkFTPAn->isChecked()) {
    address =
        QString::fromLatin1(UrlScheme(Protocol, Encryption)) + QStringLiteral("://") + address;
  } else if (ChkHTTP->isChecked()) {
    address = QStringLiteral("http://") + address;
  }
  cmboURL->setEditText(address);
  const TSplitUrl parts = SplitUrl(S(address), S(DefaultPassword));
  Port = parts.Port;
  Updating = false;
  UpdateOk();
}

bool TfrmURL::OkEnabled() const {
  const QString lower = Address().toLower();
  return Address().size() > 6 && lower != QStringLiteral("ftp://") &&
         lower != QStringLiteral("ftpes://") && lower != QStringLiteral("ftps://") &&
         lower != QStringLiteral("sftp://") && lower != QStringLiteral("http://");
}

void TfrmURL::UpdateOk() {
  btnOK->setEnabled(OkEnabled());
}

QString TfrmURL::ServerFolder() const {
  // The box shows the address's path, whose first "/" is the one that ends the host: "/pub/"
  // opens "pub/" in the log-in folder, "//etc/" (an address's "%2Fetc/") the absolute "/etc/".
  QString folder = editFolder->text();
  if (folder.startsWith(u'/')) folder.remove(0, 1);
  if (!folder.isEmpty() && !folder.endsWith(u'/')) folder += u'/';
  return folder;
}

bool TfrmURL::Commit() {
  if (Http()) return false;  // the viewer takes HTTP addresses; nothing to connect
  auto& history = Preferences().UrlHistory;
  // Kept without its password, which pelmar.ini would hold in clear.
  const std::string address = UrlDroppingPassword(S(Address()));
  bool known = false;
  for (const auto& entry : history) {
    if (QString::compare(Q(entry), Q(address), Qt::CaseInsensitive) == 0) known = true;
  }
  if (!known) history.insert(history.begin(), address);
  // The host box may carry the port as typed ("host:2121"): connect to host and port.
  const TSplitUrl parts =
      SplitUrl(std::string(UrlScheme(Protocol, Encryption)) + "://x@" + S(editHost->text()), "");
  Host = Q(parts.Host);
  Port = parts.Port;
  User = editUserName->text();
  Password = editPassword->text();
  Folder = ServerFolder();
  FileName = editFileName->text();
  if (User.isEmpty() && Protocol == prFtp) {
    User = QStringLiteral("anonymous");
    if (Password.isEmpty()) Password = DefaultPassword;
  }
  return true;
}

void TfrmURL::done(int result) {
  if (result == QDialog::Accepted && !OkEnabled()) return;
  if (result != QDialog::Accepted) {
    User.clear();
    Password.clear();
    Host.clear();
    Folder.clear();
    FileName.clear();
  }
  QDialog::done(result);
}

TdlgPassword::TdlgPassword(QWidget* parent) : QDialog(parent) {
  setObjectName("TdlgPassword");
  setWindowTitle(QStringLiteral("Enter a password"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Specify a password to this session:"), this));
  editPassword = new QLineEdit(this);
  editPassword->setObjectName("editPassword");
  editPassword->setEchoMode(QLineEdit::Password);
  layout->addWidget(editPassword);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

TfrmCompareOptions::TfrmCompareOptions(QWidget* parent) : QDialog(parent) {
  setObjectName("TfrmCompareOptions");
  setWindowTitle(QStringLiteral("Comparison Options"));
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox(this);
  auto* boxes = new QVBoxLayout(group);
  cbIgnoreSize = new QCheckBox(QStringLiteral("Ignore size difference"), group);
  cbIgnoreSize->setObjectName("cbIgnoreSize");
  cbIgnoreDate = new QCheckBox(QStringLiteral("Ignore date difference"), group);
  cbIgnoreDate->setObjectName("cbIgnoreDate");
  cbIgnoreDate->setChecked(true);
  boxes->addWidget(cbIgnoreSize);
  boxes->addWidget(cbIgnoreDate);
  layout->addWidget(group);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QPushButton* help = buttons->addButton(QStringLiteral("&Help"), QDialogButtonBox::HelpRole);
  connect(help, &QPushButton::clicked, this, [] { ShowHelpTopic(kHelpTopic); });
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool TfrmCompareOptions::IgnoreSize() const {
  return cbIgnoreSize->isChecked();
}

bool TfrmCompareOptions::IgnoreDate() const {
  return cbIgnoreDate->isChecked();
}

}  // namespace pelmar
