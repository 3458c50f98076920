// The preferences dialog and the site manager, driven without exec() on the offscreen
// platform; questions are answered by a scripted prompter.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "settings/Preferences.h"
#include "settings/SettingsFixture.h"
#include "settings/qt/ManagerDialog.h"
#include "settings/qt/OptionsDialog.h"
#include "settings/qt/PropertiesDialog.h"
#include "settings/qt/UrlDialog.h"
#include "support/ScriptedPrompter.h"
#include "support/UnnamedControls.h"
#include "ui/CertificateDialog.h"
#include "ui/RadioGroup.h"

namespace pelmar::test {
namespace {

class DialogsTest : public SettingsTest {
 protected:
  void SetUp() override {
    SettingsTest::SetUp();
    Answers = std::make_shared<TScriptedPrompter>();
    SetPrompter(Answers);
    Preferences() = TPreferences();
    Preferences().Load(PreferencesPath());
  }
  void TearDown() override {
    SetPrompter(nullptr);
    SettingsTest::TearDown();
  }
  template <typename T>
  static T* Child(QWidget& dialog, const char* name) {
    T* child = dialog.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  static void Click(QWidget& dialog, const char* name) {
    Child<QPushButton>(dialog, name)->click();
  }
  static void Type(QWidget& dialog, const char* name, const QString& text) {
    auto* edit = Child<QLineEdit>(dialog, name);
    edit->setText(text);
    emit edit->textEdited(text);
  }

  std::shared_ptr<TScriptedPrompter> Answers;
};

TEST_F(DialogsTest, FileTypesAddAndRemove) {
  TfrmOptions dialog;
  dialog.PrepareToShow();
  auto* list = Child<QListWidget>(dialog, "lbASCIIExtensions");
  auto* add = Child<QPushButton>(dialog, "btnAdd");
  EXPECT_EQ(list->count(), 12);
  Type(dialog, "editExtension", "PAS");
  add->click();
  EXPECT_EQ(list->count(), 13);
  Type(dialog, "editExtension", ".htm");
  add->click();
  EXPECT_EQ(list->count(), 13) << "an equal entry is not added twice";
  list->setCurrentRow(0);
  Click(dialog, "btnRemove");
  EXPECT_EQ(list->count(), 12);
  ASSERT_TRUE(dialog.Commit());
  EXPECT_TRUE(Preferences().IsAsciiExtension("x.pas"));
  EXPECT_FALSE(Preferences().IsAsciiExtension("x.1st"));
}

TEST_F(DialogsTest, CancelDiscardsShowingReloadsAndOkKeeps) {
  TfrmOptions dialog;
  dialog.PrepareToShow();
  Child<TRadioGroup>(dialog, "rgTransferMode")->Button(2)->click();
  dialog.reject();
  EXPECT_EQ(Preferences().TransferMode, 0);
  dialog.PrepareToShow();
  EXPECT_EQ(Child<TRadioGroup>(dialog, "rgTransferMode")->ItemIndex(), 0);

  Child<TRadioGroup>(dialog, "rgTransferMode")->Button(2)->click();
  Type(dialog, "editTimeOut", "30");
  Type(dialog, "editLogFile", "today.log");
  Type(dialog, "editEditor", " \"/opt/My Editor/edit\" --wait ");
  ASSERT_TRUE(dialog.Commit());
  EXPECT_EQ(Preferences().TransferMode, 2);
  EXPECT_EQ(Preferences().LogFile, Home + "today.log");
  EXPECT_EQ(EngineSettings().FTPTimeout.load(), 30000);
  TPreferences stored;
  stored.Load(PreferencesPath());
  EXPECT_EQ(stored.TransferMode, 2);
  EXPECT_EQ(stored.Editor, "\"/opt/My Editor/edit\" --wait");
  dialog.PrepareToShow();
  EXPECT_EQ(Child<QLineEdit>(dialog, "editEditor")->text(), "\"/opt/My Editor/edit\" --wait");

  Type(dialog, "editTries", "many");
  EXPECT_FALSE(dialog.Commit());
  ASSERT_EQ(Answers->Messages.size(), 1u);
  EXPECT_TRUE(Answers->Messages[0].contains("many"));
}

TEST_F(DialogsTest, ManagerNewApplyReopenAndDelete) {
  TfrmManager manager;
  manager.NewSite();
  Child<QComboBox>(manager, "cmboSite")->setEditText("Work");
  Type(manager, "editHost", "ftp.work.example");
  Child<QComboBox>(manager, "cmboProtocol")->setCurrentText("FTP over TLS (implicit)");
  EXPECT_EQ(Child<QLineEdit>(manager, "editPort")->text(), "990") << "the usual port follows";
  Type(manager, "editUser", "me");
  Type(manager, "editPassword", "caf\xC3\xA9");
  Child<QPlainTextEdit>(manager, "memoComment")->setPlainText("first line\nx");
  Child<QDoubleSpinBox>(manager, "spinTimeOffset")->setValue(-5.5);
  Click(manager, "btnApply");
  // Tests run without a desktop keyring: the password stays in the file, which is said once.
  ASSERT_EQ(Answers->Messages.size(), 1u);
  EXPECT_TRUE(Answers->Messages[0].startsWith("No desktop keyring is available"));
  EXPECT_EQ(manager.SiteNames(), std::vector<std::string>{"Work"});
  Click(manager, "btnApply");
  EXPECT_EQ(manager.SiteNames().size(), 1u) << "saving again adds no second entry";
  EXPECT_EQ(Answers->Messages.size(), 1u) << "the keyring note comes once a run";

  TfrmManager again;
  EXPECT_EQ(again.findChild<QComboBox*>("cmboSite")->currentText(), "Work");
  const TSite read = again.Result();
  EXPECT_EQ(read.Host, "ftp.work.example");
  EXPECT_EQ(read.Encryption, enImplicitTls);
  EXPECT_EQ(read.Port, "990");
  EXPECT_EQ(read.Password, "caf\xC3\xA9");
  EXPECT_EQ(read.Notes, (std::vector<std::string>{"first line", "x"}));
  EXPECT_EQ(read.TimeOffsetMinutes, -330);
  EXPECT_TRUE(again.findChild<QPushButton*>("btnDelete")->isEnabled());
  // Deleting asks first (the renumbering of the rest: SiteFileTest).
  Answers->Answers = {false, true};
  again.DeleteSite();
  EXPECT_EQ(again.SiteNames().size(), 1u) << "No keeps the site";
  again.DeleteSite();
  EXPECT_EQ(Answers->Questions.back(), "Are you sure you want to delete the Work site?");
  EXPECT_TRUE(again.SiteNames().empty());
}

TEST_F(DialogsTest, ManagerOkChecksAndTheAnonymousRule) {
  Preferences().EMail = "";
  TfrmManager manager;
  manager.NewSite();
  Child<QComboBox>(manager, "cmboSite")->setEditText("Anon");
  // Enter in the Host Name box presses OK, which checks the fields first.
  manager.show();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(Child<QComboBox>(manager, "cmboSite")->lineEdit(), &enter);
  ASSERT_FALSE(Answers->Messages.empty());
  EXPECT_EQ(Answers->Messages.back(), "Host field cannot be empty");
  EXPECT_TRUE(manager.isVisible());
  Type(manager, "editHost", "ftp.example.com");
  Type(manager, "editUser", "");
  EXPECT_FALSE(manager.Commit());
  EXPECT_EQ(Answers->Messages.back(), "UserID field cannot be empty");
  Child<QCheckBox>(manager, "cbAnonymous")->setChecked(true);
  EXPECT_EQ(Child<QLineEdit>(manager, "editUser")->text(), "anonymous");
  Type(manager, "editPassword", "guest@mine.example");
  EXPECT_TRUE(manager.Commit());
  EXPECT_EQ(Preferences().EMail, "guest@mine.example");

  Type(manager, "editPort", "21x");
  EXPECT_FALSE(manager.Commit());
  EXPECT_EQ(Answers->Messages.back(), "'21x' is not a valid integer value");
}

TEST_F(DialogsTest, CertificateQuestionAnswersOnceAndWarnsAboutAChange) {
  TCertificateEventData question;
  question.Host = "secure.example";
  question.Port = 21;
  question.Certificate = {
      "CN = secure.example",    "CN = secure.example", "Jan 1 2026", "Jan 1 2027", "AB:CD",
      "self-signed certificate"};
  std::vector<TTrustDecision> answers;
  auto record = [&answers](TTrustDecision decision) { answers.push_back(decision); };
  {
    TdlgCertificate dialog(nullptr, question, record);
    dialog.setAttribute(Qt::WA_DeleteOnClose, false);
    EXPECT_TRUE(Child<QPushButton>(dialog, "btnCancel")->isDefault()) << "Enter trusts nothing";
    EXPECT_EQ(dialog.findChild<QLabel*>("lblFingerprint")->text(), "AB:CD");
    Click(dialog, "btnTrustOnce");
    dialog.reject();
  }
  question.Changed = true;
  {
    TdlgCertificate dialog(nullptr, question, record);
    dialog.setAttribute(Qt::WA_DeleteOnClose, false);
    EXPECT_TRUE(dialog.findChild<QLabel*>("lblCertificateWarning")->text().contains("Warning"));
    dialog.reject();  // the close box
  }
  EXPECT_EQ(answers, (std::vector<TTrustDecision>{tdTrustOnce, tdRefuse}));
}

TEST_F(DialogsTest, EveryControlOfEveryDialogHasAName) {
  TfrmOptions options;
  TfrmManager manager;
  TfrmURL url;
  TPropertyEntry entry;
  entry.Name = "a.txt";
  TfrmProperties properties({entry}, "/", true);
  for (QWidget* dialog : std::initializer_list<QWidget*>{&options, &manager, &url, &properties}) {
    EXPECT_TRUE(UnnamedControls(*dialog).isEmpty())
        << dialog->objectName().toStdString() << ": "
        << UnnamedControls(*dialog).join(", ").toStdString();
  }
}

}  // namespace
}  // namespace pelmar::test
