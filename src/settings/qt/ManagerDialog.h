#pragma once
// "Session properties": the site manager. It keeps the named sites of the site file and is the
// dialog in which the user picks the site to connect to; after OK the caller reads Result().

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "settings/SiteFile.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFormLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace pelmar {

class TfrmManager : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kHelpTopic = 77;

  explicit TfrmManager(QWidget* parent = nullptr, const std::string& siteFilePath = "");

  // The site the boxes show (what the caller connects to after OK).
  TSite Result() const;
  const std::vector<std::string>& SiteNames() const { return Names; }

  // The buttons' actions, also callable directly.
  void NewSite();
  // Saves the site the boxes show; false (with a message) when it cannot be saved.
  bool ApplySite();
  // A note about where passwords are kept (keyring missing or refusing), shown once a run.
  void TellAboutPasswordsOnce(const std::string& note);
  void DeleteSite();
  // OK: the checks, the e-mail rule and the save; true when the dialog may close.
  bool Commit();

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void OpenSiteFile();
  void FillSiteList(const std::string& select);
  void LoadSite();
  void SetAnonymous(bool anonymous);
  void SiteNameChanged(const QString& text);
  // Shows the protocol of a site (its encryption for FTP) without touching the port.
  void ShowProtocol(TProtocol protocol, TEncryption encryption);
  // What the protocol box shows now, and which rows go with it.
  TProtocol ChosenProtocol() const;
  TEncryption ChosenEncryption() const;
  void ProtocolChosen(int choice);

  std::unique_ptr<TSiteFile> File;
  std::vector<std::string> Names;
  std::string CurrentName;
  bool Filling = false;  // the combo is being refilled: its changes are not the user's

  QTabWidget* Pages = nullptr;
  QFormLayout* GeneralForm = nullptr;
  QComboBox* cmboSite = nullptr;
  QLineEdit* editHost = nullptr;
  QLineEdit* editPort = nullptr;
  QComboBox* cmboProtocol = nullptr;
  int ShownChoice = 0;  // the protocol box's choice before the present one
  QCheckBox* cbTlsIfAvailable = nullptr;
  QCheckBox* cbAnonymous = nullptr;
  QLineEdit* editKeyFile = nullptr;
  QWidget* KeyFileRow = nullptr;
  QDoubleSpinBox* spinTimeOffset = nullptr;
  QLineEdit* editUser = nullptr;
  QLineEdit* editPassword = nullptr;
  QLineEdit* editHostFolder = nullptr;
  QLineEdit* editLocalFolder[3] = {nullptr, nullptr, nullptr};
  QPlainTextEdit* memoComment = nullptr;
  QPushButton* btnDelete = nullptr;
};

}  // namespace pelmar
