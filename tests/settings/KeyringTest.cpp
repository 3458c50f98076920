// Site passwords at rest: in the desktop keyring when there is one, scrambled in an
// owner-only file when there is none or it refuses.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>

#include "settings/DataFolder.h"
#include "settings/SettingsFixture.h"
#include "settings/SiteFile.h"
#include "support/Files.h"
#include "support/ServerProcess.h"

namespace pelmar::test {
namespace {

using KeyringTest = SettingsTest;

// A keyring in memory that can be told to refuse.
class TMemoryStore : public IPasswordStore {
 public:
  bool Refuse = false;
  std::map<std::string, std::string> Items;  // "site|host|port|user" -> password

  static std::string Id(const TKeyringKey& key) {
    return key.Site + "|" + key.Host + "|" + key.Port + "|" + key.User;
  }
  bool Store(const TKeyringKey& key, const std::string& password, std::string& error) override {
    if (Refused(error)) return false;
    Items[Id(key)] = password;
    return true;
  }
  std::optional<std::string> Lookup(const TKeyringKey& key, std::string& error) override {
    const auto found = Items.find(Id(key));
    if (Refused(error) || found == Items.end()) return std::nullopt;
    return found->second;
  }
  void Remove(const TKeyringKey& key) override { Items.erase(Id(key)); }

 private:
  bool Refused(std::string& error) const {
    if (Refuse) error = "the keyring is locked";
    return Refuse;
  }
};

TSite Site(const std::string& name, const std::string& user, const std::string& password) {
  TSite site;
  site.Name = name;
  site.Host = "ftp.example.com";
  site.User = user;
  site.Password = password;
  return site;
}

// The rules of where a password goes, with a keyring in memory: every case starts from a
// site file holding "Old" (user u, password "old pw") scrambled, as files from before have.
TEST_F(KeyringTest, PasswordsGoToTheKeyringAndComeBackOrStayScrambled) {
  const std::string path = Home + kSiteFileName;
  TMemoryStore store;
  {
    TSiteFile plain(path, nullptr);
    ASSERT_EQ(plain.SaveSite(Site("Old", "u", "old pw"), {"Old"}), "");
    EXPECT_EQ(ReadFile(path).find("PasswordInKeyring"), std::string::npos);
    EXPECT_EQ(ModeOf(path), 0600u) << "a file with passwords is its owner's only";
    EXPECT_EQ(ModeOf(Home), 0755u) << "a folder the person chose keeps its mode";
  }
  TSiteFile file(path, &store);
  ASSERT_EQ(file.Open(), "");
  EXPECT_EQ(file.ReadSite("Old", "e@x").Password, "old pw") << "scrambled files keep working";

  // Saved again with a keyring: the password moves there, the file keeps only the marker.
  ASSERT_EQ(file.SaveSite(Site("Old", "u", "old pw"), {"Old"}), "");
  EXPECT_EQ(store.Items.at("Old|ftp.example.com|21|u"), "old pw");
  std::string text = ReadFile(path);
  EXPECT_NE(text.find("\nPassword=\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nPasswordInKeyring=1\n"), std::string::npos) << text;

  // Another user: the old item goes, the new one comes.
  ASSERT_EQ(file.SaveSite(Site("Old", "v", "new pw"), {"Old"}), "");
  EXPECT_EQ(store.Items.size(), 1u);
  EXPECT_EQ(store.Items.at("Old|ftp.example.com|21|v"), "new pw");

  // A keyring that refuses: scrambled in the file, and why.
  store.Refuse = true;
  ASSERT_EQ(file.SaveSite(Site("Old", "v", "third"), {"Old"}), "");
  EXPECT_NE(file.KeyringProblem().find("the keyring is locked"), std::string::npos);
  TSiteFile scrambled(path, nullptr);
  ASSERT_EQ(scrambled.Open(), "");
  EXPECT_EQ(scrambled.ReadSite("Old", "e@x").Password, "third");
  EXPECT_EQ(ReadFile(path).find("PasswordInKeyring"), std::string::npos);

  // A marker whose keyring cannot answer: no password, and the reason, never a crash.
  store.Refuse = false;
  ASSERT_EQ(file.SaveSite(Site("Old", "v", "fourth"), {"Old"}), "");
  store.Refuse = true;
  TSiteFile locked(path, &store);
  ASSERT_EQ(locked.Open(), "");
  EXPECT_EQ(locked.ReadSite("Old", "e@x").Password, "");
  EXPECT_NE(locked.KeyringProblem().find("cannot give it: the keyring is locked"),
            std::string::npos);

  // Deleting a site removes its section and item and renumbers the others, leaving theirs
  // alone.
  store.Refuse = false;
  std::vector<std::string> names = {"Old", "Other"};
  ASSERT_EQ(file.SaveSite(Site("Other", "w", "other pw"), names), "");
  ASSERT_EQ(file.DeleteSite("Old", names, "e@x"), "");
  EXPECT_EQ(names, std::vector<std::string>{"Other"});
  EXPECT_EQ(store.Items.count("Old|ftp.example.com|21|v"), 0u);
  EXPECT_EQ(store.Items.at("Other|ftp.example.com|21|w"), "other pw");
  text = ReadFile(path);
  EXPECT_NE(text.find("[Sites]\nSite1=Other\nLastSite=Other\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("[Old]"), std::string::npos) << text;
  TSiteFile after(path, &store);
  ASSERT_EQ(after.Open(), "");
  EXPECT_EQ(after.ReadSite("Other", "e@x").Password, "other pw");
}

TEST_F(KeyringTest, TheDataFolderIsMadePrivate) {
  const std::string fresh = Home + "new/deeper/";
  ::setenv("PELMAR_HOME", fresh.c_str(), 1);
  EXPECT_EQ(DataFolder(), fresh);
  EXPECT_EQ(ModeOf(fresh), 0700u);
}

// The real thing: the Secret Service of GNOME Keyring on a D-Bus session of its own. The
// driver below runs this test again inside that session; run alone, it has nothing to do.
TEST_F(KeyringTest, InsideADesktopSessionSiteFilesUseTheSecretService) {
  if (!std::getenv("PELMAR_KEYRING_SESSION")) GTEST_SKIP() << "runs inside the session below";
  IPasswordStore* store = DesktopKeyring();
  ASSERT_NE(store, nullptr);
  const std::string path = Home + kSiteFileName;
  TSiteFile file(path);
  ASSERT_EQ(file.SaveSite(Site("Work", "me", "caf\xC3\xA9 pw"), {"Work"}), "");
  EXPECT_EQ(file.KeyringProblem(), "");
  EXPECT_NE(ReadFile(path).find("PasswordInKeyring=1"), std::string::npos);
  EXPECT_EQ(CommandOutput(
                "secret-tool lookup site Work host ftp.example.com port 21 user me 2>/dev/null"),
            "caf\xC3\xA9 pw");
  TSiteFile again(path);
  ASSERT_EQ(again.Open(), "");
  EXPECT_EQ(again.ReadSite("Work", "e@x").Password, "caf\xC3\xA9 pw");
  std::vector<std::string> names = {"Work"};
  ASSERT_EQ(again.DeleteSite("Work", names, "e@x"), "");
  EXPECT_NE(std::system("secret-tool lookup site Work host ftp.example.com port 21 user me "
                        ">/dev/null 2>&1"),
            0);
}

TEST_F(KeyringTest, ADesktopSessionWithGnomeKeyring) {
  for (const char* tool : {"dbus-run-session", "gnome-keyring-daemon", "secret-tool"}) {
    if (std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()) != 0) {
      GTEST_SKIP() << tool << " is missing (scripts/setup.sh installs it)";
    }
  }
  char self[4096] = {};
  ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
  // A keyring of its own under the test's folder, unlocked with a fixed password; the test
  // starts once the daemon owns the Secret Service's name (else the bus would start a second,
  // locked one for the first request).
  const std::string waitForName =
      "for i in \\$(seq 100); do dbus-send --session --print-reply --dest=org.freedesktop.DBus "
      "/org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets "
      "2>/dev/null | grep -q true && break; sleep 0.1; done; ";
  const std::string command =
      "env -u PELMAR_KEYRING HOME='" + Home + "' XDG_DATA_HOME='" + Home +
      "data' PELMAR_KEYRING_SESSION=1 dbus-run-session -- sh -c \"printf pelmar-test | "
      "gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1; " +
      waitForName + "exec '" + std::string(self) +
      "' --gtest_filter=KeyringTest.InsideADesktopSessionSiteFilesUseTheSecretService\" 2>&1";
  const std::string output = CommandOutput(command + "; echo \"exit $?\"");
  EXPECT_TRUE(output.ends_with("exit 0")) << output;
  EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

}  // namespace
}  // namespace pelmar::test
