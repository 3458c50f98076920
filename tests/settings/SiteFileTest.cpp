#include "settings/SiteFile.h"

#include <gtest/gtest.h>

#include "settings/CommaText.h"
#include "settings/SettingsFixture.h"
#include "settings/StoredPassword.h"
#include "support/Files.h"
#include "text/TextUtils.h"

namespace pelmar::test {
namespace {

using SiteFileTest = SettingsTest;

TEST(CommaText, NotesRoundTrip) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {""}, {"a,b", "say \"hi\"", ""}, {"", "", "tail"}, {"tab\there", "\"", ",", "trailing "},
  };
  for (const auto& lines : cases) {
    EXPECT_EQ(FromCommaText(ToCommaText(lines)), lines) << ToCommaText(lines);
  }
  EXPECT_EQ(ToCommaText({"first line", "x"}), "\"first line\",x");
  EXPECT_EQ(ToCommaText({""}), "\"\"");
  EXPECT_EQ(ToCommaText({}), "");
}

TEST(StoredPassword, OrdinaryPasswordsAreWrittenAsBeforeAndEveryByteSurvives) {
  // What plain scrambling could store is stored exactly as plain scrambling does.
  for (const char* plain : {"secret", "pass word", "Pa55!", "x"}) {
    EXPECT_EQ(StoredPasswordValue(plain), Scramble(plain)) << plain;
  }
  std::vector<std::string> passwords = {"",      "caf\xC3\xA9", "\xC3\xBC\xC3\xB1",
                                        " lead", "trail ",      "\"quoted\""};
  for (int b = 0; b < 256; ++b) passwords.push_back(std::string(1, static_cast<char>(b)));
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  passwords.push_back(all);
  for (const auto& password : passwords) {
    const std::string stored = StoredPasswordValue(password);
    EXPECT_EQ(stored.find_first_of(std::string("\0\r\n", 3)), std::string::npos);
    EXPECT_EQ(PasswordFromStored(stored), password) << stored;
  }
  // A value written by plain scrambling long ago still reads the same.
  EXPECT_EQ(PasswordFromStored(Scramble("old secret")), "old secret");
}

auto Fields(const TSite& s) {
  return std::tie(s.Name, s.Host, s.Port, s.Encryption, s.Anonymous, s.User, s.Password,
                  s.HostFolder, s.LocalFolder1, s.LocalFolder2, s.LocalFolder3, s.Notes,
                  s.TimeOffsetMinutes, s.TimeZoneChecked);
}

TEST_F(SiteFileTest, EveryFieldRoundTrips) {
  const std::string path = Home + "Sites.ini";
  TSiteFile file(path);
  ASSERT_EQ(file.Open(), "");
  TSite site{.Name = "My Server",
             .Host = "ftp.example.com",
             .Port = "2121",
             .Encryption = enExplicitIfOffered,
             .User = "jos\xC3\xA9",
             .Password = "p\xC3\xA4ss w\xC3\xB6rd \xE2\x82\xAC",
             .HostFolder = "/pub/incoming",
             .LocalFolder1 = "/home/me/a",
             .LocalFolder2 = "/home/me/b b",
             .LocalFolder3 = "",
             .Notes = {"first line", "x", "with, comma", "\"quoted\"", ""},
             .TimeOffsetMinutes = -330};
  std::vector<std::string> names;
  TSiteFile::InsertSorted(names, site.Name);
  ASSERT_EQ(file.SaveSite(site, names), "");

  TSiteFile again(path);
  ASSERT_EQ(again.Open(), "");
  ASSERT_EQ(again.ReadSiteNames(), names);
  EXPECT_EQ(again.LastSite(), "My Server");
  TSite read = again.ReadSite("my server", "mail@x");  // found whatever the case of its name
  read.Name = site.Name;
  EXPECT_EQ(Fields(read), Fields(site));
  // A checked offset is written alone: the password and the rest stay as they are.
  ASSERT_EQ(again.SaveTimeZone("My Server", 60), "");
  TSiteFile third(path);
  ASSERT_EQ(third.Open(), "");
  site.TimeOffsetMinutes = 60;
  site.TimeZoneChecked = true;
  EXPECT_EQ(Fields(third.ReadSite("My Server", "mail@x")), Fields(site));
  EXPECT_NE(third.SaveTimeZone("No such site", 0), "");
  const std::string text = ReadFile(path);
  EXPECT_EQ(text.rfind("[Sites]\nSite1=My Server\nLastSite=My Server\n\n[My Server]\nHost=", 0), 0u)
      << text;

  // An SFTP site keeps its protocol and key file beside the FTP keys; a version without SFTP
  // reads Encryption=1 and would ask for TLS, never send the password in clear.
  TSite shell;
  shell.Name = "Shell";
  shell.Host = "ssh.example.com";
  shell.Port = "2222";
  shell.Protocol = prSftp;
  shell.KeyFile = "/home/me/.ssh/id work";
  shell.User = "me";
  TSiteFile::InsertSorted(names, shell.Name);
  ASSERT_EQ(third.SaveSite(shell, names), "");
  TProfileFile raw(path);
  raw.Load();
  EXPECT_EQ(raw.ReadString("Shell", "Encryption", ""), "1");
  EXPECT_EQ(raw.ReadString("My Server", "Protocol", ""), "0");
  TSiteFile fourth(path);
  ASSERT_EQ(fourth.Open(), "");
  const TSite sftp = fourth.ReadSite("Shell", "mail@x");
  EXPECT_EQ(sftp.Protocol, prSftp);
  EXPECT_EQ(sftp.Encryption, enPlain);
  EXPECT_EQ(sftp.KeyFile, shell.KeyFile);
  EXPECT_EQ(sftp.Port, "2222");
  EXPECT_EQ(sftp.Password, "") << "no password: the keys are tried";
  EXPECT_EQ(fourth.ReadSite("My Server", "mail@x").Protocol, prFtp);
}

TEST_F(SiteFileTest, DefaultsAndTheReadingRules) {
  WriteFile(Home + "Sites.ini",
            "[Sites]\nSite1=Beta\nSite2=\nSite3=alpha\nLastSite=Beta\n"
            "[Beta]\nHost=b.example.com\nAnonymous=1\nUser=ignored\nPassword=ignored\n"
            "Encryption=9\nTimeZoneOffset=100000\n"
            "[Gamma]\nHost=g.example.com\nProtocol=1\nAnonymous=1\nEncryption=1\n"
            "[Delta]\nHost=d.example.com\nProtocol=7\n");
  TSiteFile file(Home + "Sites.ini");
  ASSERT_EQ(file.Open(), "");
  EXPECT_EQ(file.ReadSiteNames(), (std::vector<std::string>{"alpha", "Beta"}));
  const TSite beta = file.ReadSite("Beta", "mail@x");
  EXPECT_TRUE(beta.Anonymous);
  EXPECT_EQ(beta.User, "anonymous");
  EXPECT_EQ(beta.Password, "mail@x");
  EXPECT_EQ(beta.Encryption, enExplicitTls) << "an unknown protection never means plain";
  EXPECT_EQ(beta.TimeOffsetMinutes, 0) << "beyond a day: no time zone";
  // SFTP: its own usual port, no anonymous log-on, no user or password unless stored.
  const TSite gamma = file.ReadSite("Gamma", "mail@x");
  EXPECT_EQ(gamma.Protocol, prSftp);
  EXPECT_EQ(gamma.Port, "22");
  EXPECT_FALSE(gamma.Anonymous);
  EXPECT_EQ(gamma.User, "");
  EXPECT_EQ(gamma.Password, "");
  EXPECT_EQ(gamma.Encryption, enPlain);
  const TSite delta = file.ReadSite("Delta", "mail@x");
  EXPECT_EQ(delta.Protocol, prFtp);
  EXPECT_EQ(delta.Encryption, enExplicitTls) << "a protocol not known: FTP, never in clear";

  WriteFile(Home + "Sites.ini", "[Sites]\nSite1=Only\nSite2=Lost\n");
  TSiteFile noLast(Home + "Sites.ini");
  noLast.Open();
  EXPECT_EQ(noLast.LastSite(), "!");
  EXPECT_EQ(noLast.ReadSiteNames(), (std::vector<std::string>{"Lost", "Only"}))
      << "every Site key counts, with or without LastSite";
}

TEST_F(SiteFileTest, AFileWrittenByHandInTheOldLayoutReads) {
  // Keys in their usual order, CR LF line ends, a password scrambled byte by byte ("s3cret!"),
  // notes as comma text whose first and last lines are quoted.
  WriteFile(
      Home + "Sites.ini",
      "[Sites]\r\nSite1=Home NAS\r\nLastSite=Home NAS\r\n\r\n[Home NAS]\r\n"
      "Host=192.168.1.5\r\nPort=2121\r\nAnonymous=0\r\nUser=admin\r\n"
      "Password=\xB0\xF0\xA0\xB1\xA6\xB7\xE2\r\nHostFolder=/share\r\nLocalFolder1=/home/me\r\n"
      "LocalFolder2=\r\nLocalFolder3=\r\nComments=\"backup box\",x,\"say \"\"hi\"\"\"\r\n");
  TSiteFile file(Home + "Sites.ini");
  ASSERT_EQ(file.Open(), "");
  ASSERT_EQ(file.ReadSiteNames(), std::vector<std::string>{"Home NAS"});
  const TSite site = file.ReadSite("Home NAS", "");
  EXPECT_EQ(site.Host, "192.168.1.5");
  EXPECT_EQ(site.Port, "2121");
  EXPECT_EQ(site.User, "admin");
  EXPECT_EQ(site.Password, "s3cret!");
  EXPECT_EQ(site.HostFolder, "/share");
  EXPECT_EQ(site.Encryption, enPlain) << "no Encryption key: plain FTP, as before";
  EXPECT_EQ(site.Notes, (std::vector<std::string>{"backup box", "x", "say \"hi\""}));
}

TEST_F(SiteFileTest, InvalidSitesAreRefusedBeforeAnythingIsWritten) {
  TSiteFile file(Home + "Sites.ini");
  file.Open();
  const struct {
    const char* Name;
    const char* Port;
  } cases[] = {{"ok", "21x"},    {"ok", ""},           {"bad]name", "21"}, {" lead", "21"},
               {"trail ", "21"}, {"two\nlines", "21"}, {"SITES", "21"}};
  for (const auto& c : cases) {
    TSite site;
    site.Name = c.Name;
    site.Port = c.Port;
    std::vector<std::string> names{c.Name};
    EXPECT_NE(file.SaveSite(site, names), "") << c.Name << " " << c.Port;
  }
  EXPECT_FALSE(Exists(Home + "Sites.ini"));
  TSite site;
  site.Name = "ok";
  site.Port = "x";
  EXPECT_EQ(TSiteFile::Validate(site), "'x' is not a valid integer value");
}

}  // namespace
}  // namespace pelmar::test
