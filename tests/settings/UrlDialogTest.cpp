// The Connect-to-URL dialog and the two small prompts, driven without exec().

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "settings/Preferences.h"
#include "settings/qt/UrlDialog.h"

namespace pelmar::test {
namespace {

template <typename T>
T* Child(QWidget& dialog, const char* name) {
  T* child = dialog.findChild<T*>(name);
  EXPECT_NE(child, nullptr) << name;
  return child;
}

QString Text(QWidget& dialog, const char* name) {
  return Child<QLineEdit>(dialog, name)->text();
}

// The splitting itself: TextUtilsTest. Here: what the boxes show of it.
TEST(UrlDialog, AddressesSplitIntoTheirParts) {
  Preferences() = TPreferences();
  const struct {
    const char* Address;
    const char* User;
    const char* Password;
    const char* Host;  // as the box shows it
    const char* Folder;
    const char* File;
    const char* Kind;
  } cases[] = {
      {"ftp://u:pw@ftp.example.com/pub/a.zip", "u", "pw", "ftp.example.com", "/pub/", "a.zip",
       "ChkFTP"},
      {"ftp://host:2121/pub/", "anonymous", "me@x", "host:2121", "/pub/", "", "ChkFTPAn"},
      // The boxes show the parts decoded.
      {"ftp://me%40example.com:p%3As@h/dir%20with%20space/f%20x", "me@example.com", "p:s", "h",
       "/dir with space/", "f x", "ChkFTP"},
      {"http://www.example.com/index.html", "", "", "www.example.com", "/", "index.html",
       "ChkHTTP"},
      // SFTP has no anonymous log-on: no user stays none.
      {"sftp://me@shell.example:2222/%2Fsrv/", "me", "", "shell.example:2222", "//srv/", "",
       "ChkFTP"},
      {"sftp://shell.example", "", "", "shell.example", "/", "", "ChkFTP"},
  };
  for (const auto& c : cases) {
    TfrmURL dialog(nullptr, true);
    dialog.DefaultPassword = "me@x";
    dialog.SetAddress(c.Address);
    EXPECT_EQ(Text(dialog, "editUserName"), c.User) << c.Address;
    EXPECT_EQ(Text(dialog, "editPassword"), c.Password) << c.Address;
    EXPECT_EQ(Text(dialog, "editHost"), c.Host) << c.Address;
    EXPECT_EQ(Text(dialog, "editFolder"), c.Folder) << c.Address;
    EXPECT_EQ(Text(dialog, "editFileName"), c.File) << c.Address;
    EXPECT_TRUE(Child<QRadioButton>(dialog, c.Kind)->isChecked()) << c.Address;
  }
}

TEST(UrlDialog, PartsRebuildTheAddressAndOkGivesHostAndPort) {
  Preferences() = TPreferences();
  Preferences().UrlHistory = {"ftp://old.example.com/"};
  TfrmURL dialog;
  dialog.DefaultPassword = "me@x";
  EXPECT_FALSE(Child<QPushButton>(dialog, "btnOK")->isEnabled()) << "no address yet";
  Child<QLineEdit>(dialog, "editHost")->setText("host:2121");
  Child<QLineEdit>(dialog, "editFolder")->setText("p");
  dialog.RebuildAddress();
  EXPECT_EQ(Text(dialog, "editFolder"), "/p") << "a folder gets its leading slash";
  EXPECT_EQ(dialog.Address(), "ftp://host:2121/p/");
  EXPECT_TRUE(Child<QPushButton>(dialog, "btnOK")->isEnabled());
  Child<QRadioButton>(dialog, "ChkFTPAn")->setChecked(true);
  EXPECT_EQ(Text(dialog, "editUserName"), "anonymous");
  EXPECT_EQ(Text(dialog, "editPassword"), "me@x");
  Child<QRadioButton>(dialog, "ChkFTP")->setChecked(true);
  EXPECT_EQ(Text(dialog, "editUserName"), "") << "FTP empties the anonymous log-on";
  ASSERT_TRUE(dialog.Commit());
  EXPECT_EQ(dialog.Host, "host");
  EXPECT_EQ(dialog.Port, 2121);
  EXPECT_EQ(dialog.User, "anonymous") << "no user: anonymous with the e-mail address";
  EXPECT_EQ(dialog.Password, "me@x");
  EXPECT_EQ(Preferences().UrlHistory.front(), "ftp://host:2121/p/");
  EXPECT_EQ(dialog.Folder, "p/") << "in the log-in folder";

  // Parts are escaped in the address and decoded again for the connection; the address is
  // kept without its password.
  const struct {
    const char* Address;
    const char* Folder;  // where the connection goes
    const char* Kept;
  } addresses[] = {
      {"ftp://me%40example.com:p%3As@h/dir%20with%20space/f%20x", "dir with space/",
       "ftp://me%40example.com@h/dir%20with%20space/f%20x"},
      {"ftp://u:secret@h/%2Fetc/", "/etc/", "ftp://u@h/%2Fetc/"},
  };
  for (const auto& a : addresses) {
    dialog.SetAddress(a.Address);
    dialog.RebuildAddress();
    EXPECT_EQ(dialog.Address(), a.Address) << "the parts make the same address again";
    ASSERT_TRUE(dialog.Commit());
    EXPECT_EQ(dialog.Folder, a.Folder) << a.Address;
    EXPECT_EQ(Preferences().UrlHistory.front(), a.Kept);
  }
  EXPECT_EQ(dialog.User, "u");
  EXPECT_EQ(dialog.Password, "secret");
  // A TLS address keeps its scheme while parts are edited; implicit TLS has port 990.
  dialog.SetAddress("ftps://u:p@secure.example/in/");
  Child<QLineEdit>(dialog, "editFolder")->setText("/out/");
  dialog.RebuildAddress();
  EXPECT_EQ(dialog.Address(), "ftps://u:p@secure.example/out/");
  ASSERT_TRUE(dialog.Commit());
  EXPECT_EQ(dialog.Encryption, enImplicitTls);
  EXPECT_EQ(dialog.Port, 990);
  // SFTP keeps its scheme and a user without a password; no user is not made anonymous.
  for (const char* user : {"me", ""}) {
    const QString at = *user ? QString(user) + "@" : QString();
    dialog.SetAddress("sftp://" + at + "shell.example/in/");
    Child<QLineEdit>(dialog, "editFolder")->setText("/out/");
    dialog.RebuildAddress();
    EXPECT_EQ(dialog.Address(), "sftp://" + at + "shell.example/out/");
    ASSERT_TRUE(dialog.Commit());
    EXPECT_EQ(dialog.Protocol, prSftp);
    EXPECT_EQ(dialog.Port, 22);
    EXPECT_EQ(dialog.User, user);
    EXPECT_EQ(dialog.Password, "");
  }
  dialog.reject();
  EXPECT_TRUE(dialog.Host.isEmpty()) << "Cancel empties the results";
}

TEST(SmallPrompts, CompareOptionsStartWithTheirDefaultsAndThePasswordIsHidden) {
  for (int round = 0; round < 2; ++round) {
    TfrmCompareOptions options;
    EXPECT_FALSE(options.IgnoreSize());
    EXPECT_TRUE(options.IgnoreDate());
    Child<QCheckBox>(options, "cbIgnoreDate")->setChecked(false);
  }
  TdlgPassword prompt;
  EXPECT_EQ(prompt.editPassword->echoMode(), QLineEdit::Password);
}

}  // namespace
}  // namespace pelmar::test
