// SFTP in the dialogs: the site manager's protocol choice with the port and the rows that go
// with it, and the question about a host key that is not known.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "settings/Preferences.h"
#include "settings/SettingsFixture.h"
#include "settings/qt/ManagerDialog.h"
#include "support/ScriptedPrompter.h"
#include "ui/CertificateDialog.h"
#include "ui/FileChooser.h"

namespace pelmar::test {
namespace {

class TChosenFile : public IFileChooser {
 public:
  QString OpenFile(QWidget*, const QString&, const QString&, const QString& start) override {
    Start = start;
    return Chosen;
  }
  QString SaveFile(QWidget*, const QString&, const QString&, const QString&,
                   const QString&) override {
    return {};
  }
  QString Folder(QWidget*, const QString&, const QString&) override { return {}; }
  QString Chosen;
  QString Start;
};

class SftpDialogs : public SettingsTest {
 protected:
  void SetUp() override {
    SettingsTest::SetUp();
    Answers = std::make_shared<TScriptedPrompter>();
    SetPrompter(Answers);
    Chooser = std::make_shared<TChosenFile>();
    SetFileChooser(Chooser);
    Preferences() = TPreferences();
  }
  void TearDown() override {
    SetPrompter(nullptr);
    SetFileChooser(nullptr);
    SettingsTest::TearDown();
  }
  template <typename T>
  static T* Child(QWidget& dialog, const char* name) {
    T* child = dialog.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  static bool Shown(QWidget& dialog, const char* name) {
    return Child<QWidget>(dialog, name)->isVisibleTo(&dialog);
  }

  std::shared_ptr<TScriptedPrompter> Answers;
  std::shared_ptr<TChosenFile> Chooser;
};

TEST_F(SftpDialogs, SiteManagerProtocolMovesThePortAndShowsItsOwnRows) {
  {
    TfrmManager manager;
    manager.NewSite();
    Child<QComboBox>(manager, "cmboSite")->setEditText("Work");
    auto* protocol = Child<QComboBox>(manager, "cmboProtocol");
    auto* port = Child<QLineEdit>(manager, "editPort");
    EXPECT_TRUE(Shown(manager, "cbTlsIfAvailable"));
    EXPECT_FALSE(Shown(manager, "editKeyFile"));
    // The usual port follows the choice; a port the person typed stays.
    const struct {
      const char* Choice;
      const char* Typed;  // before choosing; nullptr: as it was
      const char* Port;
    } steps[] = {
        {"SFTP", nullptr, "22"},
        {"FTP over TLS (implicit)", nullptr, "990"},
        {"FTP over TLS (explicit)", nullptr, "21"},
        {"SFTP", "2222", "2222"},
        {"FTP", nullptr, "2222"},
    };
    for (const auto& step : steps) {
      if (step.Typed) port->setText(step.Typed);
      protocol->setCurrentText(step.Choice);
      EXPECT_EQ(port->text(), step.Port) << step.Choice;
    }
    // An FTP site that takes TLS where the server offers it.
    Child<QLineEdit>(manager, "editHost")->setText("ftp.work.example");
    Child<QLineEdit>(manager, "editUser")->setText("me");
    Child<QCheckBox>(manager, "cbTlsIfAvailable")->setChecked(true);
    ASSERT_TRUE(manager.ApplySite());

    // An SFTP site: no anonymous log-on, no time offset, a key file, and no user needed. Its
    // name typed last, letter by letter, keeps what was entered for it.
    manager.NewSite();
    Child<QLineEdit>(manager, "editHost")->setText("shell.example");
    Child<QCheckBox>(manager, "cbAnonymous")->setChecked(true);
    protocol->setCurrentText("SFTP");
    for (const char* typed : {"S", "Sh", "Shell"}) {
      Child<QComboBox>(manager, "cmboSite")->setEditText(typed);
    }
    EXPECT_EQ(protocol->currentText(), "SFTP");
    EXPECT_EQ(Child<QLineEdit>(manager, "editHost")->text(), "shell.example");
    EXPECT_FALSE(Child<QCheckBox>(manager, "cbAnonymous")->isChecked());
    EXPECT_EQ(Child<QLineEdit>(manager, "editUser")->text(), "") << "anonymous's values went";
    for (const char* name : {"cbAnonymous", "cbTlsIfAvailable", "spinTimeOffset"}) {
      EXPECT_FALSE(Shown(manager, name)) << name;
    }
    EXPECT_TRUE(Shown(manager, "editKeyFile"));
    Chooser->Chosen = "/home/me/.ssh/id_work";
    Child<QPushButton>(manager, "btnBrowseKeyFile")->click();
    EXPECT_TRUE(Chooser->Start.endsWith("/.ssh")) << Chooser->Start.toStdString();
    EXPECT_TRUE(manager.Commit()) << (Answers->Messages.empty()
                                          ? std::string()
                                          : Answers->Messages.back().toStdString());
  }
  TfrmManager again;
  const TSite shell = again.Result();
  EXPECT_EQ(shell.Name, "Shell");
  EXPECT_EQ(shell.Protocol, prSftp);
  EXPECT_EQ(shell.Port, "22");
  EXPECT_EQ(shell.KeyFile, "/home/me/.ssh/id_work");
  EXPECT_EQ(shell.User, "");
  EXPECT_TRUE(Shown(again, "editKeyFile"));
  Child<QComboBox>(again, "cmboSite")->setCurrentText("Work");
  const TSite work = again.Result();
  EXPECT_EQ(work.Protocol, prFtp);
  EXPECT_EQ(work.Encryption, enExplicitIfOffered);
  EXPECT_EQ(work.Port, "2222") << "a stored port stays as stored";
  EXPECT_EQ(work.KeyFile, "");
  EXPECT_FALSE(Shown(again, "editKeyFile"));
  EXPECT_TRUE(Shown(again, "cbAnonymous"));
}

TEST_F(SftpDialogs, HostKeyQuestionShowsTheFingerprintAndAnswersOnce) {
  TCertificateEventData question;
  question.Host = "shell.example";
  question.Port = 2222;
  question.HostKey = true;
  question.KeyType = "ssh-ed25519";
  question.Certificate.Fingerprint = "SHA256:nThbg6kXUpJWGl7E1IGOCspRomTxdCARLviKw6E5SY8";
  std::vector<TTrustDecision> answers;
  TdlgCertificate dialog(nullptr, question,
                         [&answers](TTrustDecision decision) { answers.push_back(decision); });
  dialog.setAttribute(Qt::WA_DeleteOnClose, false);
  EXPECT_EQ(dialog.findChild<QLabel*>("lblCertificateWarning"), nullptr) << "no certificate";
  const QString warning = Child<QLabel>(dialog, "lblHostKeyWarning")->text();
  EXPECT_TRUE(warning.contains("The server's host key is not known")) << warning.toStdString();
  EXPECT_TRUE(warning.contains("shell.example port 2222")) << warning.toStdString();
  EXPECT_EQ(Child<QLabel>(dialog, "lblFingerprint")->text(),
            QString::fromStdString(question.Certificate.Fingerprint));
  QStringList texts;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) texts << label->text();
  EXPECT_TRUE(texts.contains("ssh-ed25519")) << texts.join(" | ").toStdString();
  EXPECT_TRUE(Child<QLabel>(dialog, "lblHostKeyNote")->text().contains("~/.ssh/known_hosts"));
  EXPECT_TRUE(Child<QPushButton>(dialog, "btnCancel")->isDefault()) << "Enter trusts nothing";
  Child<QPushButton>(dialog, "btnTrustOnce")->click();
  dialog.reject();
  EXPECT_EQ(answers, std::vector<TTrustDecision>{tdTrustOnce});
}

}  // namespace
}  // namespace pelmar::test
