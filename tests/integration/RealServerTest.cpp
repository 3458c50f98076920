// The engine against real FTP servers: log-on, listings, transfers compared byte for byte,
// resume, abort and remote operations with their effect checked on disk.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>

#include <sys/time.h>

#include <map>

#include "engine/EngineSettings.h"
#include "listing/ListingPass.h"
#include "support/EngineFixture.h"
#include "support/Files.h"
#include "support/RealServerFixture.h"

namespace pelmar::test {
namespace {

class RealServerTest : public RealServerFixture {
 protected:
  void TearDown() override {
    Ftp.reset();
    RealServerFixture::TearDown();
  }

  bool LogOn() { return LogOn(Server->User(), Server->Password()); }
  bool LogOn(const std::string& user, const std::string& password) {
    Ftp = MakeComponent();
    Ftp->Host = "127.0.0.1";
    Ftp->Port = Server->Port();
    Ftp->User = user;
    Ftp->Password = password;
    Ftp->Connect();
    EXPECT_TRUE(RunUntil([&] { return CountEvents("loggedin") + CountEvents("connectfailed"); },
                         std::chrono::milliseconds(2 * TRealFtpServer::kSlowRefusalMs)));
    return CountEvents("loggedin") == 1;
  }
  // Waits until everything posted so far is done (a PWD behind it has answered).
  void Finish() {
    const int before = static_cast<int>(EventsStartingWith("folder:0:").size());
    Ftp->GetFolder();
    ASSERT_TRUE(RunUntil(
        [&] { return static_cast<int>(EventsStartingWith("folder:0:").size()) > before; }));
  }
  int Errors() const { return static_cast<int>(EventsStartingWith("error:").size()); }

  std::unique_ptr<TFTPComponent> Ftp;
};

TEST_P(RealServerTest, LogOnRefusedAndAccepted) {
  EngineSettings().FTPRetries = 1;
  EngineSettings().FTPTimeout = TRealFtpServer::kSlowRefusalMs;
  const bool named = Server->HasNamedAccount();
  EXPECT_FALSE(LogOn(named ? TRealFtpServer::kUser : "nobody", "wrong password"));
  EXPECT_EQ(CountEvents("log:Failed to Log in to Host"), 1) << testing::PrintToString(Events);
  Events.clear();
  EXPECT_TRUE(LogOn());
  if (named) {
    Events.clear();
    EXPECT_TRUE(LogOn(TRealFtpServer::kUser, TRealFtpServer::kPassword));
  }
}

TEST_P(RealServerTest, DownloadsAndUploadsAreByteIdentical) {
  ASSERT_TRUE(LogOn());
  for (size_t size : {size_t{0}, size_t{1}, size_t{3} << 20}) {
    SCOPED_TRACE(size);
    const std::string content = RandomBytes(size, static_cast<unsigned>(size));
    const std::string name = "f" + std::to_string(size);
    WriteFile(Server->Root() + name, content);
    Ftp->Download(name, Local + name, 1);
    // Replacing a longer file leaves nothing of it behind.
    WriteFile(Local + "again" + name, std::string(size + 1000, 'o'));
    Ftp->Download(name, Local + "again" + name, 1);
    WriteFile(Local + "up" + name, content);
    Ftp->Upload(Local + "up" + name, "up" + name, 1);
    Finish();
    EXPECT_EQ(ReadFile(Local + name), content);
    EXPECT_EQ(ReadFile(Local + "again" + name), content);
    EXPECT_EQ(ReadFile(Server->Root() + "up" + name), content);
  }
  EXPECT_EQ(Errors(), 0);
}

TEST_P(RealServerTest, PassiveModeListsTransfersAndResumesBothWays) {
  EngineSettings().PassiveMode = true;
  const std::string content = RandomBytes(1 << 20, 11);
  WriteFile(Server->Root() + "p.bin", content);
  WriteFile(Server->Root() + "uphalf", content.substr(0, 400000));
  Server->HandOver(Server->Root() + "uphalf");
  WriteFile(Local + "half", content.substr(0, 300000));
  WriteFile(Local + "whole", content);
  ASSERT_TRUE(LogOn());
  ASSERT_EQ(Ftp->ServerCanResume(), 1);
  Ftp->List();
  Ftp->Download("p.bin", Local + "p.bin", 1);
  Ftp->ResumeDownload("p.bin", Local + "half", 1, 300000);
  Ftp->Upload(Local + "whole", "up.bin", 1);
  Ftp->ResumeUpload(Local + "whole", "uphalf", 1, 400000);
  Finish();
  EXPECT_EQ(Errors(), 0) << testing::PrintToString(EventsStartingWith("error:"));
  EXPECT_NE(Listing.find("p.bin"), std::string::npos);
  // Compared as booleans: a mismatch of a megabyte of random bytes prints nothing useful.
  EXPECT_TRUE(ReadFile(Local + "p.bin") == content);
  EXPECT_TRUE(ReadFile(Local + "half") == content);
  EXPECT_TRUE(ReadFile(Server->Root() + "up.bin") == content);
  EXPECT_TRUE(ReadFile(Server->Root() + "uphalf") == content);
  EXPECT_EQ(EventsStartingWith("log:EPSV").size() + EventsStartingWith("log:PASV").size(), 5u);
  EXPECT_TRUE(EventsStartingWith("log:PORT ").empty());
}

TEST_P(RealServerTest, AbortInTheMiddleOfADownloadKeepsTheConnection) {
  // A large sparse file: the transfer cannot finish before the abort is seen.
  const std::string big = Server->Root() + "huge";
  WriteFile(big, "");
  ASSERT_EQ(::truncate(big.c_str(), int64_t{4} << 30), 0);
  ASSERT_TRUE(LogOn());
  Ftp->Download("huge", Local + "huge", 1);
  ASSERT_TRUE(WaitForEvent("progress:0:1:0"));
  Ftp->Abort();
  Finish();
  EXPECT_EQ(CountEvents("aborted"), 1);
  EXPECT_LT(SizeOf(Local + "huge"), int64_t{4} << 30);
  // The control connection still works after the ABOR exchange.
  WriteFile(Server->Root() + "after", "ok");
  Ftp->Download("after", Local + "after", 1);
  Finish();
  EXPECT_EQ(ReadFile(Local + "after"), "ok");
}

TEST_P(RealServerTest, RemoteOperationsChangeTheDisk) {
  WriteFile(Server->Root() + "doomed", "x");
  WriteFile(Server->Root() + "old name", "y");
  WriteFile(Server->Root() + "mode", "z");
  ::chmod((Server->Root() + "mode").c_str(), 0600);
  Server->HandOver(Server->Root() + "mode");
  ::mkdir((Server->Root() + "gone").c_str(), 0777);
  ASSERT_TRUE(LogOn());
  Ftp->MakeFolder("made");
  Ftp->RemoveFolder("gone");
  Ftp->DeleteFile("doomed");
  Ftp->Rename("old name", "new name");
  Ftp->ChangeMode("mode", 4 | 8 | 32 | 256);
  Finish();
  EXPECT_TRUE(Exists(Server->Root() + "made"));
  EXPECT_FALSE(Exists(Server->Root() + "gone"));
  EXPECT_FALSE(Exists(Server->Root() + "doomed"));
  EXPECT_FALSE(Exists(Server->Root() + "old name"));
  EXPECT_EQ(ReadFile(Server->Root() + "new name"), "y");
  EXPECT_EQ(EventsStartingWith("folder:2:").size(), 1u) << "MKD's 257 names the new folder";
  struct stat info {};
  ::stat((Server->Root() + "mode").c_str(), &info);
  if (GetParam() != TServerKind::Vsftpd) {
    EXPECT_EQ(info.st_mode & 0777, 0644u);
  } else {
    // vsftpd refuses SITE CHMOD to anonymous users; the refusal leads to the bare CHMOD.
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(CountEvents("log:CHMOD 644 mode"), 1);
  }
}

TEST_P(RealServerTest, ListingOfAwkwardNamesGivesBackEveryName) {
  const std::string dir = Server->Root() + "awkward/";
  ::mkdir(dir.c_str(), 0777);
  struct TExpected {
    char Kind;
    int64_t Size;
  };
  std::map<std::string, TExpected> expected = {
      {"inner  blanks", {'-', 3}},     {" leading blank", {'-', 4}},
      {"trailing blank ", {'-', 5}},   {"Jan report", {'-', 6}},
      {"Mar 15 10:30 copy", {'-', 7}}, {"na\xC3\xAFve \xCE\xA9mega.txt", {'-', 8}},
      {"sub folder", {'d', 0}},        {"link -> Jan report", {'l', 10}},
  };
  for (const auto& [name, what] : expected) {
    if (what.Kind == '-') WriteFile(dir + name, std::string(static_cast<size_t>(what.Size), 'x'));
  }
  ::mkdir((dir + "sub folder").c_str(), 0777);
  ASSERT_EQ(::symlink("Jan report", (dir + "link").c_str()), 0);
  // A sparse file above 4 GiB, where the file system allows one.
  const int64_t bigSize = 5'000'000'000LL;
  WriteFile(dir + "big.bin", "");
  if (::truncate((dir + "big.bin").c_str(), bigSize) == 0) {
    expected["big.bin"] = {'-', bigSize};
  } else {
    ::unlink((dir + "big.bin").c_str());
  }
  // An old date at noon, so that no time zone moves it to another day.
  const timeval times[2] = {{1579089600, 0}, {1579089600, 0}};  // 2020-01-15 12:00 UTC
  ::utimes((dir + "Jan report").c_str(), times);

  // pyftpdlib's MLSD follows links: the link is listed as the file it leads to.
  if (GetParam() == TServerKind::Pyftpdlib) {
    expected.erase("link -> Jan report");
    expected["link"] = {'-', 6};
  }
  ASSERT_TRUE(LogOn());
  Ftp->ChangeFolder("awkward");
  Ftp->List();
  Finish();
  ASSERT_EQ(CountEvents("listing"), 1);
  std::map<std::string, TExpected> seen;
  std::string janReportDate;
  TListingHooks hooks;
  hooks.AddItem = [&](const TRemoteItem& item) {
    if (item.Name == "." || item.Name == "..") return;
    const char kind = (item.Attributes & iaLink) ? 'l' : (item.Attributes & iaFolder) ? 'd' : '-';
    seen[item.Name] = {kind, item.Size};
    if (item.Name == "Jan report") janReportDate = FormatDateTimeMinutes(item.Modified);
  };
  int unreadable = 0;
  hooks.Log = [&](const std::string&) { ++unreadable; };
  TListingPass pass;
  pass.ListingReceived(Listing, Today(), hooks);
  EXPECT_EQ(unreadable, 0) << Listing;
  ASSERT_EQ(seen.size(), expected.size()) << Listing;
  for (const auto& [name, what] : expected) {
    ASSERT_EQ(seen.count(name), 1u) << "[" << name << "] missing from\n" << Listing;
    EXPECT_EQ(seen[name].Kind, what.Kind) << name;
    if (what.Kind != 'l') {
      EXPECT_EQ(seen[name].Size, what.Size) << name;
    }
  }
  EXPECT_EQ(janReportDate.substr(0, 10), "2020-01-15");
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServerTest, ::testing::ValuesIn(AllServerKinds()),
                         [](const auto& param) { return ServerName(param.param); });

}  // namespace
}  // namespace pelmar::test
