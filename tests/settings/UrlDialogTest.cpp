// The Connect-to-URL dialog and the password prompt, driven without exec().

#include <gtest/gtest.h>

#include <QLineEdit>
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

// The splitting itself: TextUtilsTest. Here: the boxes' parts make the address again, and what
// OK gives for the connection.
TEST(UrlDialog, PartsRebuildTheAddressAndOkGivesHostAndPort) {
  Preferences() = TPreferences();
  Preferences().UrlHistory = {"ftp://old.example.com/"};
  TfrmURL dialog;
  dialog.DefaultPassword = "me@x";
  Child<QLineEdit>(dialog, "editHost")->setText("host:2121");
  Child<QLineEdit>(dialog, "editFolder")->setText("p");
  dialog.RebuildAddress();
  EXPECT_EQ(Text(dialog, "editFolder"), "/p") << "a folder gets its leading slash";
  EXPECT_EQ(dialog.Address(), "ftp://host:2121/p/");
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
    const char* User;
    const char* Password;
    const char* Folder;  // where the connection goes
    const char* Kept;
  } addresses[] = {
      {"ftp://me%40example.com:p%3As@h/dir%20with%20space/f%20x", "me@example.com", "p:s",
       "dir with space/", "ftp://me%40example.com@h/dir%20with%20space/f%20x"},
      {"ftp://u:secret@h/%2Fetc/", "u", "secret", "/etc/", "ftp://u@h/%2Fetc/"},
      // SFTP has no anonymous log-on: a user without a password stays so.
      {"sftp://me@shell.example:2222/%2Fsrv/", "me", "", "/srv/",
       "sftp://me@shell.example:2222/%2Fsrv/"},
  };
  for (const auto& a : addresses) {
    dialog.SetAddress(a.Address);
    dialog.RebuildAddress();
    EXPECT_EQ(dialog.Address(), a.Address) << "the parts make the same address again";
    ASSERT_TRUE(dialog.Commit());
    EXPECT_EQ(dialog.User, a.User) << a.Address;
    EXPECT_EQ(dialog.Password, a.Password) << a.Address;
    EXPECT_EQ(dialog.Folder, a.Folder) << a.Address;
    EXPECT_EQ(Preferences().UrlHistory.front(), a.Kept);
  }
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

TEST(PasswordPrompt, TheTypedPasswordIsHidden) {
  TdlgPassword prompt;
  EXPECT_EQ(prompt.editPassword->echoMode(), QLineEdit::Password);
}

}  // namespace
}  // namespace pelmar::test
