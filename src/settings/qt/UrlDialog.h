#pragma once
// "Connection to URL": an address typed whole or built from its parts, the two kept in step
// both ways (the boxes hold the parts decoded, the address %-escaped). After OK the caller
// reads the parts; the address joins the URL history without its password.

#include <QDialog>
#include <QString>

#include "engine/Messages.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace pelmar {

class TfrmURL : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kHelpTopic = 8;

  explicit TfrmURL(QWidget* parent = nullptr, bool browserPresent = false);

  // Set by the caller before showing: the anonymous password and the port.
  QString DefaultPassword;
  int Port = 21;
  QString Account;

  // Results after OK (emptied on Cancel). Folder is the server folder the address opens:
  // relative to the log-in folder ("pub/"), absolute ("/etc/"), or "" for the log-in folder.
  QString User, Password, Host, Folder, FileName;
  // From the address's scheme: ftpes:// explicit FTP over TLS, ftps:// implicit, sftp:// SFTP
  // (whose log-on without a user is the SSH configuration's or the local user's, not
  // anonymous).
  TEncryption Encryption = enPlain;
  TProtocol Protocol = prFtp;
  bool Http() const;

  // What typing an address does, and what editing a part does.
  void SetAddress(const QString& address);
  void RebuildAddress();
  QString Address() const;
  bool OkEnabled() const;
  // OK: results, history; true when the caller should connect (an FTP address).
  bool Commit();

  void done(int result) override;

 private:
  void UpdateOk();
  QString ServerFolder() const;

  bool Updating = false;
  QComboBox* cmboURL;
  QRadioButton* ChkFTP;
  QRadioButton* ChkFTPAn;
  QRadioButton* ChkHTTP;
  QLineEdit* editUserName;
  QLineEdit* editPassword;
  QLineEdit* editHost;
  QLineEdit* editFolder;
  QLineEdit* editFileName;
  QPushButton* btnOK;
};

// "Enter a password" for a session whose site or address has none.
class TdlgPassword : public QDialog {
  Q_OBJECT
 public:
  explicit TdlgPassword(QWidget* parent = nullptr);
  QLineEdit* editPassword;
};

// "Comparison Options": what a folder comparison ignores. Starts with the defaults each time.
class TfrmCompareOptions : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kHelpTopic = 79;
  explicit TfrmCompareOptions(QWidget* parent = nullptr);
  bool IgnoreSize() const;
  bool IgnoreDate() const;

 private:
  QCheckBox* cbIgnoreSize;
  QCheckBox* cbIgnoreDate;
};

}  // namespace pelmar
