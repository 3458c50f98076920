#include "settings/Preferences.h"

#include <gtest/gtest.h>

#include "engine/EngineSettings.h"
#include "settings/SettingsFixture.h"
#include "support/Files.h"

namespace pelmar::test {
namespace {

using PreferencesTest = SettingsTest;

TEST_F(PreferencesTest, EngineSettingsFromTheFile) {
  const struct {
    const char* Connection;
    int Timeout;
    int Retries;
    bool KeepAlive;
    bool Passive = true;
  } cases[] = {
      {"Timeout=30\nRetries=5\nPing=0\nPassiveMode=0\n", 30000, 5, false, false},
      {"", 90000, 3, true},                           // the defaults
      {"Timeout=abc\nRetries=x\n", 120000, 3, true},  // not numbers: the engine's fallbacks
      {"Retries=5\nInfiniteRetry=1\nPassiveMode=1\n", 90000, 0, true, true},
      // Out of the range a person may choose: clamped, in 64 bits; 0 is the default.
      {"Timeout=4294968\n", 86400000, 3, true},
      {"Timeout=0\n", 90000, 3, true},
      {"Timeout=-5\n", 1000, 3, true},
  };
  for (const auto& c : cases) {
    WriteFile(Home + "pelmar.ini", std::string("[Connection]\n") + c.Connection);
    TPreferences p;
    p.Load(Home + "pelmar.ini");
    EXPECT_EQ(EngineSettings().FTPTimeout.load(), c.Timeout) << c.Connection;
    EXPECT_EQ(EngineSettings().FTPRetries.load(), c.Retries) << c.Connection;
    EXPECT_EQ(EngineSettings().FTPKeepAlive.load(), c.KeepAlive) << c.Connection;
    EXPECT_EQ(EngineSettings().PassiveMode.load(), c.Passive) << c.Connection;
  }
  EngineSettings().PassiveMode = false;
}

TEST_F(PreferencesTest, ListsOfExtensionsAndAddresses) {
  WriteFile(Home + "pelmar.ini",
            "[FileTypes]\nExt0=.txt\nExt1=.doc\n[URLs]\nURL0=ftp://a/\nURL1=ftp://b/\n"
            "URL2=ftp://u:secret@c/\n");
  TPreferences p;
  p.Load(Home + "pelmar.ini");
  EXPECT_EQ(p.AsciiExtensions, (std::vector<std::string>{".doc", ".txt"}))
      << "a saved list keeps what it holds";
  p.AsciiExtensions = {".txt"};
  EXPECT_EQ(p.UrlHistory, (std::vector<std::string>{"ftp://a/", "ftp://b/", "ftp://u@c/"}))
      << "an earlier version's password is not offered again";
  p.UrlHistory.push_back("ftp://v:secret@d/");
  p.Save(Home + "pelmar.ini");
  EXPECT_EQ(ReadFile(Home + "pelmar.ini").find("secret"), std::string::npos);
  p.UrlHistory.pop_back();
  WriteFile(Home + "pelmar.ini", "[FileTypes]\n[URLs]\n");
  TPreferences empty;
  empty.Load(Home + "pelmar.ini");
  EXPECT_EQ(empty.AsciiExtensions.size(), 12u) << "an empty section keeps the built-in list";
  EXPECT_EQ(empty.TransferModeFor("report.doc"), 1) << "Word documents are binary";
  EXPECT_EQ(empty.TransferModeFor("notes.TXT"), 0);
  EXPECT_TRUE(empty.UrlHistory.empty());

  EXPECT_TRUE(p.AddAsciiExtension("htm"));
  EXPECT_FALSE(p.AddAsciiExtension(".HTM"));
  EXPECT_EQ(p.AsciiExtensions, (std::vector<std::string>{".htm", ".txt"}));
  EXPECT_TRUE(p.IsAsciiExtension("INDEX.HTM"));
  EXPECT_FALSE(p.IsAsciiExtension("index.html"));
  EXPECT_FALSE(p.IsAsciiExtension("htm"));
  EXPECT_EQ(p.TransferModeFor("a.txt"), 0);
  EXPECT_EQ(p.TransferModeFor("a.bin"), 1);
  p.TransferMode = 3;  // EBCDIC
  EXPECT_EQ(p.TransferModeFor("a.txt"), 2);

  p.AddUrlToHistory("ftp://b/");
  EXPECT_EQ(p.UrlHistory, (std::vector<std::string>{"ftp://b/", "ftp://a/", "ftp://u@c/"}));
}

TEST_F(PreferencesTest, SaveWritesEveryKeyInOrderAndReadsBack) {
  TPreferences p;
  p.Load(Home + "pelmar.ini");
  p.EMail = "me@example.org";
  p.Editor = "\"/opt/My Editor/edit\" --new-window";
  p.TransferMode = 2;
  p.FirewallEnabled = true;
  p.FirewallPassword = "plain";
  p.Timeout = "45";
  p.AsciiExtensions = {".a", ".b"};
  p.UrlHistory = {"ftp://x/"};
  p.SetLogFileFromBox("session.log");
  ASSERT_EQ(p.Save(Home + "pelmar.ini"), "");
  EXPECT_EQ(EngineSettings().FTPTimeout.load(), 45000);
  const std::string text = ReadFile(Home + "pelmar.ini");
  EXPECT_EQ(text.rfind("[General]\nEMail=me@example.org\nViewer=/usr/bin/xdg-open\nEditor=\"/opt/"
                       "My Editor/edit\" --new-window\nLogFile=" +
                           Home + "session.log\n",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("Password=plain\n"), std::string::npos);
  EXPECT_NE(text.find("[FileTypes]\nExt0=.a\nExt1=.b\n"), std::string::npos);

  TPreferences again;
  again.Load(Home + "pelmar.ini");
  EXPECT_EQ(again.EMail, "me@example.org");
  EXPECT_EQ(again.Editor, p.Editor) << "quotes and all";
  EXPECT_EQ(again.TransferMode, 2);
  EXPECT_TRUE(again.FirewallEnabled);
  EXPECT_EQ(again.AsciiExtensions, p.AsciiExtensions);
  EXPECT_EQ(again.UrlHistory, p.UrlHistory);
  EXPECT_EQ(again.LogFile, Home + "session.log");
}

TEST_F(PreferencesTest, NumbersThatAreNotWholeAreRefusedAndNothingIsWritten) {
  TPreferences p;
  p.Retries = "three";
  EXPECT_NE(p.Save(Home + "pelmar.ini"), "");
  p.Retries = "3";
  p.Timeout = "1.5";
  EXPECT_NE(p.Save(Home + "pelmar.ini"), "");
  EXPECT_FALSE(Exists(Home + "pelmar.ini"));
}

}  // namespace
}  // namespace pelmar::test
