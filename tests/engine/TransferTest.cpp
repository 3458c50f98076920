// Data connections and transfers against the scripted server: PORT, listings, downloads and
// uploads with resume, abort, time-outs and refused transfers.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>

#include "engine/EngineSettings.h"
#include "engine/TransferStreams.h"
#include "support/EngineFixture.h"
#include "support/Files.h"
#include "support/ScriptedFtpServer.h"

namespace pelmar::test {
namespace {

class TransferTest : public LoggedOnTest {
 protected:
  void SetUp() override {
    LoggedOnTest::SetUp();
    Dir = ::testing::TempDir() + "pelmar-transfer-" + std::to_string(::getpid()) + "-" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
    ::mkdir(Dir.c_str(), 0755);
  }
  void TearDown() override {
    LoggedOnTest::TearDown();
    std::system(("rm -rf '" + Dir + "'").c_str());
  }

  std::string Dir;
};

// "PORT 127,0,0,1,p1,p2" with a port in range.
bool IsLoopbackPort(const std::string& command) {
  unsigned p1 = 0, p2 = 0;
  char tail = 0;
  return std::sscanf(command.c_str(), "PORT 127,0,0,1,%u,%u%c", &p1, &p2, &tail) == 2 && p1 < 256 &&
         p2 < 256 && p1 * 256 + p2 > 0;
}

int FilesIn(const std::string& folder) {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

// A listing starts on 150 or 125 and arrives whole, an empty one too (the pane then shows an
// empty folder), and so does one whose 226 comes with the 150 before any data; a data
// connection from another address is refused and the server's own taken.
TEST_F(TransferTest, ListingsArriveWhole) {
  const std::string full = "-rw-r--r-- 1 u g 5 Jan 1 2020 a.txt\r\ndrwxr-xr-x 2 u g 0 b\r\n";
  const struct {
    const char* Name;
    TScript After;  // after PORT's reply
    std::string Listing;
    const char* Log;  // a log line that must be there once, or ""
  } cases[] = {
      {"150", TScript().On("150 Opening").SendData(full).Reply("226 Done"), full, ""},
      {"125", TScript().On("125 Data connection already open").SendData(full).Reply("226 Done"),
       full, ""},
      {"empty", TScript().On("150 Opening").SendData("").Reply("226 Done"), "", ""},
      {"start and end in one segment",
       TScript().Read().Send("150 Opening\r\n226 Done\r\n").SendData("abc"), "abc", ""},
      {"another address connects first",
       TScript().On("150 Opening").DataFrom("127.0.0.2").SendData("real").Reply("226 Done"), "real",
       "log:Refused data connection from 127.0.0.2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Events.clear();
    Listing = "unchanged";
    TScript after;
    after.On("200 PORT ok").Then(c.After).On("257 \"/done\"");
    auto server = StartServer(after);
    auto ftp = LogOn(*server);
    ftp->List();
    Finish(*ftp);
    EXPECT_EQ(Listing, c.Listing);
    const TCommands sent = Sent(*server);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_TRUE(IsLoopbackPort(sent[0])) << sent[0];
    EXPECT_EQ(sent[1], "LIST");
    EXPECT_EQ(EventsStartingWith("progress:"),
              (TCommands{"progress:0:0:0", "progress:2:0:" + std::to_string(c.Listing.size())}));
    EXPECT_EQ(CountEvents("listing"), 1);
    EXPECT_TRUE(EventsStartingWith("error:").empty());
    if (*c.Log) {
      EXPECT_EQ(CountEvents(c.Log), 1);
    }
  }
}

// A server whose FEAT names MLST lists with MLSD; a folder it will not list that way is listed
// with LIST, without an error; a server that does not know MLSD after all is not asked again;
// links MLSD names without their target come from LIST's lines. A named folder is listed by its
// path (one round trip less), else entered first.
TEST_F(TransferTest, ListingsUseMlsdWhereOfferedAndLISTWhereNot) {
  const std::string facts = "type=file;size=1;modify=20200115120000; a\r\n";
  const std::string link = "type=OS.unix=symlink;modify=20200115120000; ln\r\n";
  const std::string listed = "lrwxrwxrwx 1 u g 1 Jan 15  2020 ln -> a\r\n";
  const std::string plain = "-rw-r--r-- 1 u g 1 Jan 15  2020 a\r\n";
  struct TCase {
    const char* Name;
    TScript After;  // for two listings
    TCommands Sent;
    std::string Listing;      // the second one
    std::string Folder = "";  // listed by its path; empty: the current folder
  };
  const auto mlsd = [](const std::string& data) {
    return TScript().On("200 PORT ok").On("150 Opening").SendData(data).Reply("226 Done");
  };
  const auto refused = [](const char* reply) { return TScript().On("200 PORT ok").On(reply); };
  const auto concat = [](std::initializer_list<TScript> parts) {
    TScript all;
    for (const TScript& part : parts) all.Then(part);
    return all.On("257 \"/done\"");
  };
  const TCase cases[] = {
      {"refused for one folder",
       concat({refused("550 Not here"), mlsd(plain), mlsd(facts)}),
       {"MLSD", "LIST", "MLSD"},
       facts},
      {"unknown after all",
       concat({refused("500 Unknown"), mlsd(plain), mlsd(plain)}),
       {"MLSD", "LIST", "LIST"},
       plain},
      {"links without targets",
       concat({mlsd(facts), mlsd(facts + link), mlsd(plain + listed)}),
       {"MLSD", "MLSD", "LIST"},
       facts + listed},
      {"a folder by its path, without entering it",
       concat({mlsd(facts), mlsd(facts)}),
       {"MLSD /d/", "MLSD /d/"},
       facts,
       "/d/"},
      {"no path for MLSD: entered, and not asked with one again",
       concat({refused("501 No path"), TScript().On("250 In"), mlsd(facts), TScript().On("250 In"),
               mlsd(facts)}),
       {"MLSD /d/", "CWD /d/", "MLSD", "CWD /d/", "MLSD"},
       facts,
       "/d/"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Events.clear();
    auto server =
        StartServer(c.After, "350 R", "211-Features:\r\n MLST type*;size*;modify*;\r\n211 End");
    auto ftp = LogOn(*server);
    ftp->List(c.Folder);
    ftp->List(c.Folder);
    Finish(*ftp);
    EXPECT_EQ(Listing, c.Listing);
    TCommands sent;
    for (const std::string& command : Sent(*server)) {
      if (command.rfind("PORT", 0) != 0 && command != "PWD") sent.push_back(command);
    }
    EXPECT_EQ(sent, c.Sent);
    EXPECT_EQ(CountEvents("listing"), 2);
    EXPECT_TRUE(EventsStartingWith("error:").empty());
  }
}

// A download counts only with every byte the server said the file has (the 150 reply, SIZE or
// the caller's listing), and touches nothing on disk before its data: an old file stays as it
// was until the new one is whole, a new name gets no file until a byte arrives, and what
// arrived of a new file is kept for resume. Where FEAT offers a checksum, each binary file's is
// compared after its data: a mismatch fails the transfer and leaves no wrong copy, and a server
// that gives none lets the file stand. Where FEAT names MDTM and the listing gave no exact
// time, MDTM is asked before the data port and its time goes with the download's end (UTC
// seconds; -1 for none, one that does not read, or a download that failed).
TEST_F(TransferTest, ADownloadIsDoneOnlyWhenWholeAndTouchesNothingBefore) {
  const std::string announced = "150 Opening BINARY mode data connection for file (11 bytes)";
  const std::string sha = "2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881";
  const TScript x = TScript().SendData("x").Reply("226 Done");
  const std::string short20004 = "error:20004:The download of dir/file came to 4 bytes instead of";
  const struct {
    const char* Name;
    const char* Feat;    // extra FEAT lines
    const char* Before;  // reply to SIZE, or "" when none is asked
    std::string Opening;
    TScript Data;  // after the 150 reply
    int64_t Listed;
    std::string Error;               // the first error's start, "" when it succeeds
    std::optional<std::string> New;  // what a new file holds afterwards (nullopt: no file)
    const char* Existing;            // what an old file holds afterwards
    std::string After = "";          // the reply to what is asked after the data
    const char* Asked = "PWD";       // what is asked after RETR
    int64_t Time = -1;
    int64_t ListedTime = -1;     // the caller's exact time from the listing
    const char* TimeReply = "";  // the answer to MDTM, asked before the data port
  } cases[] = {
      {"complete", "", "", announced, TScript().SendData("new content").Reply("226 Done"), 11, "",
       "new content", "new content"},
      {"no data connection ever comes", "", "", "150 Opening",
       TScript().Pause(400).Reply("425 No data connection"), -1,
       "error:10060:timed out after 0.3 s waiting for the server's data connection for RETR",
       std::nullopt, "precious"},
      {"only another address connects, then 226", "", "", "150 Opening",
       TScript().DataFrom("127.0.0.2").Pause(400).Reply("226 Done"), -1,
       "error:10060:", std::nullopt, "precious"},
      {"the transfer breaks off", "", "", "150 Opening",
       TScript().SendData("half").Reply("451 Local error"), -1, "error:0:Unable", "half",
       "precious"},
      {"short, by the 150 reply", "", "", announced, TScript().SendData("half").Reply("226 Done"),
       -1, short20004 + " the 11 bytes the server announced", "half", "precious"},
      {"short, by SIZE", " SIZE", "213 11", "150 Opening",
       TScript().SendData("half").Reply("226 Done"), -1, short20004 + " the 11 bytes SIZE gave",
       "half", "precious"},
      {"short, by the listing", " SIZE", "", "150 Opening",
       TScript().SendData("half").Reply("226 Done"), 11,
       short20004 + " the 11 bytes the listing gave", "half", "precious"},
      {"nothing arrives of an announced file", "", "", announced,
       TScript().SendData("").Reply("226 Done"), -1, "error:20004:", std::nullopt, "precious"},
      {"refused", "", "", "550 No such file", TScript(), -1, "error:0:Unable to complete transfer",
       std::nullopt, "precious"},
      {"an empty file", "", "", "150 Opening", TScript().SendData("").Reply("226 Done"), -1, "", "",
       ""},
      {"HASH chosen by OPTS", " HASH SHA-1*;SHA-256", "", "150 Opening", x, -1, "", "x", "x",
       "213 SHA-256 0-0 " + sha + " f.bin", "HASH dir/file"},
      {"HASH match", " HASH SHA-256*;MD5", "", "150 Opening", x, -1, "", "x", "x",
       "213 SHA-256 0-0 2D711642B726B04401627CA9FBAC32F5C8530FB1903CC4DB02258717921A4881 f.bin",
       "HASH dir/file"},
      {"HASH mismatch", " HASH SHA-256*;MD5", "", "150 Opening", x, -1,
       "error:20003:", std::nullopt, "precious",
       "213 SHA-256 0-0 0000000000000000000000000000000000000000000000000000000000000000 f.bin",
       "HASH dir/file"},
      {"XMD5 match", " XMD5", "", "150 Opening", x, -1, "", "x", "x",
       "250 9dd4e461268c8034f5c8564e155c67a6", "XMD5 dir/file"},
      {"XCRC mismatch", " XCRC", "", "150 Opening", x, -1, "error:20003:", std::nullopt, "precious",
       "250 12345678", "XCRC dir/file"},
      {"no checksum given", " XSHA256", "", "150 Opening", x, -1, "", "x", "x",
       "500 Unknown command", "XSHA256 dir/file"},
      {"MDTM", " MDTM", "", "150 Opening", x, -1, "", "x", "x", "", "PWD", 1579089601, -1,
       "213 20200115120001"},
      {"MDTM with a fraction", " MDTM", "", "150 Opening", x, -1, "", "x", "x", "", "PWD",
       1579089601, -1, "213 20200115120001.250"},
      {"MDTM refused", " MDTM", "", "150 Opening", x, -1, "", "x", "x", "", "PWD", -1, -1,
       "550 No such file"},
      {"MDTM unreadable", " MDTM", "", "150 Opening", x, -1, "", "x", "x", "", "PWD", -1, -1,
       "213 20201345000000"},
      {"MDTM, the download refused", " MDTM", "", "550 No such file", TScript(), -1,
       "error:0:Unable to complete transfer", std::nullopt, "precious", "", "PWD", -1, -1,
       "213 20200115120001"},
      {"the listing's exact time: no MDTM", " MDTM", "", "150 Opening", x, -1, "", "x", "x", "",
       "PWD", 1579089601, 1579089601},
  };
  EngineSettings().FTPTimeout = 300;
  for (const auto& c : cases) {
    for (const bool existing : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (existing ? ", over an old file" : ", new file"));
      Events.clear();
      const std::string folder = Dir + c.Name + (existing ? " old/" : " new/");
      ::mkdir(folder.c_str(), 0755);
      if (existing) {
        WriteFile(folder + "file", "precious");
        ::chmod((folder + "file").c_str(), 0640);
      }
      const bool opts = std::string(c.Feat).find("SHA-1*") != std::string::npos;
      TScript after;
      if (opts) after.On("200 Hash set");
      after.On("200 Type set");
      if (*c.Before) after.On(c.Before);
      if (*c.TimeReply) after.On(c.TimeReply);
      after.On("200 PORT ok").On(c.Opening).Then(c.Data);
      if (!c.After.empty()) after.On(c.After);
      after.On("257 \"/done\"");
      auto server =
          StartServer(after, "350 R", std::string("211-Features:\r\n") + c.Feat + "\r\n211 End");
      auto ftp = LogOn(*server);
      ftp->Download("dir/file", folder + "file", 1,
                    {.ListedSize = c.Listed, .ServerTime = c.ListedTime});
      Finish(*ftp);
      const TCommands sent = Sent(*server);
      EXPECT_EQ(sent.front(), opts ? "OPTS HASH SHA-256" : "TYPE I");
      const auto retr = std::find(sent.begin(), sent.end(), "RETR dir/file");
      ASSERT_LT(retr + 1, sent.end());
      EXPECT_EQ(retr[1], c.Asked);
      const auto port = std::find_if(sent.begin(), sent.end(),
                                     [](const std::string& s) { return StartsWith(s, "PORT "); });
      ASSERT_NE(port, sent.begin());
      EXPECT_EQ(port[-1] == "MDTM dir/file", *c.TimeReply != 0) << "MDTM goes before the data port";
      EXPECT_EQ(std::count(sent.begin(), sent.end(), "MDTM dir/file"), *c.TimeReply ? 1 : 0);
      EXPECT_EQ(ftp->LastServerTime, c.Time);
      const auto errors = EventsStartingWith("error:");
      if (!c.Error.empty()) {
        ASSERT_FALSE(errors.empty());
        EXPECT_TRUE(StartsWith(errors.front(), c.Error)) << errors.front();
        EXPECT_TRUE(EventsStartingWith("log:Transferred").empty());
        if (c.Data.Steps.empty()) {
          EXPECT_TRUE(EventsStartingWith("progress:").empty());
        }
      } else {
        EXPECT_TRUE(errors.empty()) << errors.front();
      }
      // The size the 150 reply announces is reported as soon as it is read.
      EXPECT_EQ(EventsStartingWith("filesize:"),
                c.Opening == announced ? TCommands{"filesize:" + folder + "file:11"} : TCommands{});
      if (existing) {
        EXPECT_EQ(ReadFile(folder + "file"), c.Existing);
        struct stat info {};
        ::stat((folder + "file").c_str(), &info);
        EXPECT_EQ(info.st_mode & 0777, 0640u) << "the replacement keeps the file's permissions";
      } else {
        EXPECT_EQ(Exists(folder + "file"), c.New.has_value());
        if (c.New) {
          EXPECT_EQ(ReadFile(folder + "file"), *c.New);
        }
      }
      EXPECT_EQ(FilesIn(folder), existing || c.New ? 1 : 0) << "no temporary file is left behind";
    }
  }
}

// A download never writes through a link at its destination, and one that was decided for a
// free name leaves alone whatever took the name before the data came. A pipe is never opened
// (that would wait for another program for ever).
TEST_F(TransferTest, DownloadsNeverGoThroughALinkNorOverAFileThatAppeared) {
  WriteFile(Dir + "outside", "not yours");
  ::symlink((Dir + "outside").c_str(), (Dir + "link").c_str());
  ::mkfifo((Dir + "pipe").c_str(), 0600);
  {
    TScript after;
    after.OnEach({"200 Type set", "257 \"/done\""});
    auto server = StartServer(after);
    auto ftp = LogOn(*server);
    ftp->Download("file", Dir + "link", 1);
    ftp->ResumeDownload("file", Dir + "link", 1, 4);
    ftp->Download("file", Dir + "pipe", 1);
    ftp->Upload(Dir + "pipe", "file", 1);
    Finish(*ftp);
    EXPECT_EQ(Sent(*server), (TCommands{"TYPE I", "PWD"})) << "one TYPE until the type changes";
    EXPECT_EQ(EventsStartingWith("error:"),
              (TCommands{"error:0:Unable to create file " + Dir +
                             "link: it is a symbolic link, which is left alone",
                         "error:0:Unable to open file " + Dir +
                             "link: it is a symbolic link, which is left alone",
                         "error:0:Unable to create file " + Dir + "pipe: not a regular file",
                         "error:0:Unable to open file " + Dir + "pipe: not a regular file"}));
  }
  for (const bool asLink : {false, true}) {
    SCOPED_TRACE(asLink ? "a link appears" : "a file appears");
    Events.clear();
    const std::string local = Dir + (asLink ? "new-link" : "new-file");
    TScript after;
    after.OnEach({"200 Type set", "200 PORT ok", "150 Opening"}).Gate();
    after.SendData("server's").Reply("226 Done").On("257 \"/done\"");
    auto server = StartServer(after);
    auto ftp = LogOn(*server);
    const size_t before = server->Commands().size();
    ftp->Download("file", local, 1, {.NewOnly = true});
    // TYPE, PORT, RETR: the server waits before sending.
    ASSERT_TRUE(server->WaitForCommands(before + 3, std::chrono::seconds(10)));
    if (asLink) {
      ::symlink((Dir + "outside").c_str(), local.c_str());
    } else {
      WriteFile(local, "mine");
    }
    server->OpenGate();
    Finish(*ftp);
    EXPECT_EQ(ReadFile(local), asLink ? "not yours" : "mine");
    const auto errors = EventsStartingWith("error:");
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.front(), "error:20005:" + local +
                                  " appeared at the destination after the transfer was decided; "
                                  "it was left alone");
  }
  EXPECT_EQ(ReadFile(Dir + "outside"), "not yours");
}

// A resume asks the server's size first: the local file must be able to be its start, and the
// result must come out at that size, or the partial file goes back to what it was.
TEST_F(TransferTest, ResumedDownloadsAppendFromTheLocalSizeOrLeaveThePartialFileAlone) {
  const std::string head(1000, 'h');
  const std::string tail(500, 't');
  const std::string whole = std::string(1000, 'w') + tail;
  const TCommands all = {"SIZE remote", "PORT", "REST 1000", "RETR remote"};
  const struct {
    const char* Name;
    int64_t Offset;         // what the caller asks for
    const char* SizeReply;  // the answer to SIZE
    const char* Sent;       // the server's data; nullptr: no transfer happens
    TCommands Commands;     // from SIZE on
    const char* Error;      // the error event's start, or "" for none
    std::string Result;     // the local file afterwards
  } cases[] = {
      {"offset equal to the local size", 1000, "213 1500", tail.c_str(), all, "", head + tail},
      {"offset past the local size", 5000, "213 1500", tail.c_str(), all, "", head + tail},
      {"no SIZE on the server", 1000, "500 Unknown command", tail.c_str(), all, "", head + tail},
      {"REST taken, whole file sent", 1000, "213 1500", whole.c_str(), all,
       "error:20002:The resumed file", head},
      {"local file larger than the server's", 1000, "213 600", nullptr, TCommands(1, all[0]),
       "error:20001:The local file", head},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Events.clear();
    WriteFile(Dir + "part", head);
    TScript after;
    after.On("200 Type set").On(c.SizeReply);
    if (c.Sent) {
      after.OnEach({"200 PORT ok", "350 Restarting at 1000", "150 Opening"});
      after.SendData(c.Sent).Reply("226 Done");
    }
    after.On("257 \"/done\"");
    auto server = StartServer(after);
    auto ftp = LogOn(*server);
    ASSERT_EQ(ftp->ServerCanResume(), 1);
    ftp->ResumeDownload("remote", Dir + "part", 1, c.Offset);
    Finish(*ftp);
    TCommands sent = Sent(*server);
    sent.erase(sent.begin());  // TYPE I
    sent.pop_back();           // the marker PWD
    for (auto& command : sent) {
      if (IsLoopbackPort(command)) command = "PORT";
    }
    EXPECT_EQ(sent, c.Commands);
    EXPECT_EQ(ReadFile(Dir + "part"), c.Result) << "no hole of zeros, nothing appended wrongly";
    const auto errors = EventsStartingWith("error:");
    if (*c.Error) {
      ASSERT_FALSE(errors.empty());
      EXPECT_TRUE(StartsWith(errors.front(), c.Error)) << errors.front();
    } else {
      EXPECT_TRUE(errors.empty()) << errors.front();
      EXPECT_EQ(EventsStartingWith("progress:").front(), "progress:0:1:1000");
      EXPECT_EQ(EventsStartingWith("progress:").back(), "progress:2:1:1500");
    }
  }
}

TEST_F(TransferTest, ResumeOffsetsAbove4GiB) {
  const int64_t offset = 5'000'000'000LL;
  WriteFile(Dir + "big", "");
  ASSERT_EQ(::truncate((Dir + "big").c_str(), offset), 0);  // sparse: costs no disk
  TScript after;
  after.OnEach({"200 Type set", "213 5000000003", "200 PORT ok", "350 Restarting"});
  after.On("150 Opening").SendData("xyz").Reply("226 Done").On("257 \"/done\"");
  auto server = StartServer(after);
  auto ftp = LogOn(*server);
  ftp->ResumeDownload("remote", Dir + "big", 1, offset);
  Finish(*ftp);
  EXPECT_EQ(Sent(*server)[3], "REST 5000000000");
  EXPECT_EQ(EventsStartingWith("progress:").back(), "progress:2:1:5000000003");
  struct stat info {};
  ::stat((Dir + "big").c_str(), &info);
  EXPECT_EQ(info.st_size, offset + 3);
}

TEST_F(TransferTest, ResumeOnAServerThatCannotResumeFetchesTheWholeFile) {
  WriteFile(Dir + "part", "old old old");
  TScript after;
  after.OnEach({"200 Type set", "200 PORT ok", "150 Opening"}).SendData("new");
  after.Reply("226 Done").On("257 \"/done\"");
  auto server = StartServer(after, "502 REST not implemented");
  auto ftp = LogOn(*server);
  ASSERT_EQ(ftp->ServerCanResume(), 0);
  ftp->ResumeDownload("remote", Dir + "part", 0, 4);
  Finish(*ftp);
  EXPECT_EQ(Sent(*server)[0], "TYPE A");
  EXPECT_EQ(Sent(*server)[2], "RETR remote");
  EXPECT_EQ(ReadFile(Dir + "part"), "new");
}

// Resumed uploads, whose result is checked by SIZE (asked whether FEAT names it or not). A
// server copy larger than the local file is another file: nothing is appended to it.
TEST_F(TransferTest, ResumedUploadsCheckedBySize) {
  const std::string content = "0123456789abcdef";
  WriteFile(Dir + "src", content);
  TScript after;
  after.OnEach({"200 Type set", "200 PORT ok", "350 Restarting", "150 Opening"});
  after.ReceiveData().Reply("226 Done").On("213 16");
  // A server that stored the resumed part from the start: its copy is too short.
  after.OnEach({"200 PORT ok", "350 Restarting", "150 Opening"});
  after.ReceiveData().Reply("226 Done").On("213 6");
  after.On("257 \"/done\"");
  auto server = StartServer(after);
  auto ftp = LogOn(*server);
  ftp->ResumeUpload(Dir + "src", "up.bin", 1, 10);
  ftp->ResumeUpload(Dir + "src", "up.bin", 1, 10);
  ftp->ResumeUpload(Dir + "src", "up.bin", 1, 4096);
  Finish(*ftp);
  const TCommands sent = Sent(*server);
  ASSERT_EQ(sent.size(), 10u);
  EXPECT_EQ(sent[2], "REST 10");
  EXPECT_EQ(sent[3], "STOR up.bin");
  EXPECT_EQ(sent[4], "SIZE up.bin");
  EXPECT_EQ(sent[5].rfind("PORT ", 0), 0u) << "the type stays: no second TYPE";
  EXPECT_EQ(sent[9], "PWD") << "the larger copy: nothing more";
  EXPECT_EQ(server->Uploaded(), content.substr(10) + content.substr(10));
  EXPECT_EQ(EventsStartingWith("error:"),
            (TCommands{"error:20002:The server's copy of up.bin came to 6 bytes instead of 16; the "
                       "server did not continue where its copy ended",
                       "error:0:Unable to complete transfer",
                       "error:20006:The server's copy of up.bin (4096 bytes) is larger than the "
                       "local file (16 bytes); it is another file and was not resumed"}));
}

// Where the server has SIZE, an upload counts only when the server's copy comes to the local
// file's size (and checksum); a file already there is replaced through a temporary name that is
// renamed over it only then, so a wrong upload leaves the old file, and a wrong new file goes.
TEST_F(TransferTest, UploadsReplaceThroughATemporaryNameOnceTheCopyIsWhole) {
  const std::string content = "0123456789abcdef";
  WriteFile(Dir + "src", content);
  const std::string temp = ".up.bin.pelmar-upload";
  const struct {
    const char* Name;
    const char* Feat;
    std::vector<std::pair<const char*, const char*>> Dialogue;  // after STOR's data
    const char* Exists;                                         // the answer to SIZE before
    const char* Error;                                          // the first error, "" for none
    bool KnownNew = false;  // the caller's listing has no such file: nothing asked before
  } cases[] = {
      {"new file", " SIZE", {{"SIZE up.bin", "213 16"}}, "550 No such file", ""},
      {"new file by the listing", " SIZE", {{"SIZE up.bin", "213 16"}}, "", "", true},
      {"new file, server's copy short",
       " SIZE",
       {{"SIZE up.bin", "213 6"}, {"DELE up.bin", "250 Deleted"}},
       "550 No such file",
       "error:20004:The server's copy of up.bin came to 6 bytes instead of 16; the wrong copy "
       "was deleted from the server"},
      {"replacement",
       " SIZE",
       {{"SIZE .up.bin.pelmar-upload", "213 16"},
        {"RNFR .up.bin.pelmar-upload", "350 Ready"},
        {"RNTO up.bin", "250 Renamed"}},
       "213 3",
       ""},
      {"replacement, server's copy short",
       " SIZE",
       {{"SIZE .up.bin.pelmar-upload", "213 6"}, {"DELE .up.bin.pelmar-upload", "250 Deleted"}},
       "213 3",
       "error:20004:The new copy of up.bin came to 6 bytes instead of 16; "
       "the server's up.bin was left as it was"},
      {"replacement, wrong checksum",
       " SIZE\r\n XMD5",
       {{"SIZE .up.bin.pelmar-upload", "213 16"},
        {"XMD5 .up.bin.pelmar-upload", "250 00000000000000000000000000000000"},
        {"DELE .up.bin.pelmar-upload", "250 Deleted"}},
       "213 3",
       "error:20003:"},
      {"replacement, renamed only onto a free name",
       " SIZE",
       {{"SIZE .up.bin.pelmar-upload", "213 16"},
        {"RNFR .up.bin.pelmar-upload", "350 Ready"},
        {"RNTO up.bin", "553 File exists"},
        {"DELE up.bin", "250 Deleted"},
        {"RNFR .up.bin.pelmar-upload", "350 Ready"},
        {"RNTO up.bin", "250 Renamed"}},
       "213 3",
       ""},
      {"replacement, never renamed",
       " SIZE",
       {{"SIZE .up.bin.pelmar-upload", "213 16"},
        {"RNFR .up.bin.pelmar-upload", "350 Ready"},
        {"RNTO up.bin", "553 File exists"},
        {"DELE up.bin", "550 Permission denied"}},
       "213 3",
       "error:0:The new copy of up.bin is on the server as .up.bin.pelmar-upload; it could not be "
       "renamed over the old file (553 File exists)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Events.clear();
    const auto& dialogue = c.Dialogue;
    const bool replacing = *c.Exists && std::string(c.Exists) != "550 No such file";
    TScript after;
    after.On("200 Type set");
    if (*c.Exists) after.On(c.Exists);
    after.On("200 PORT ok").On("150 Opening");
    after.ReceiveData().Reply("226 Done");
    for (const auto& [command, reply] : dialogue) after.On(reply);
    after.On("257 \"/done\"");
    auto server =
        StartServer(after, "350 R", std::string("211-Features:\r\n") + c.Feat + "\r\n211 End");
    auto ftp = LogOn(*server);
    ftp->Upload(Dir + "src", "up.bin", 1, c.KnownNew);
    Finish(*ftp);
    TCommands expected{"TYPE I", "SIZE up.bin", "PORT", "STOR " + (replacing ? temp : "up.bin")};
    if (c.KnownNew) expected.erase(expected.begin() + 1);
    for (const auto& [command, reply] : dialogue) expected.push_back(command);
    expected.push_back("PWD");
    TCommands sent = Sent(*server);
    for (auto& command : sent) {
      if (IsLoopbackPort(command)) command = "PORT";
    }
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(server->Uploaded(), content);
    const auto errors = EventsStartingWith("error:");
    if (*c.Error) {
      ASSERT_FALSE(errors.empty());
      EXPECT_TRUE(StartsWith(errors.front(), c.Error)) << errors.front();
      EXPECT_EQ(errors.back(), "error:0:Unable to complete transfer");
    } else {
      EXPECT_TRUE(errors.empty()) << errors.front();
    }
  }
}

// Each mode its type letter; text mode converts line ends both ways, binary mode does not. A
// text file is whole when the bytes on the wire (not the converted ones) reach the listed size.
TEST_F(TransferTest, TypeLettersByModeAndTextModesLineEnds) {
  WriteFile(Dir + "up.txt", "one\ntwo\r\n");
  TScript after;
  for (int i = 0; i < 3; ++i) {
    if (i != 1) after.On("200 Type set");  // the second goes in the first one's type
    after.OnEach({"200 PORT ok", "150 Opening"}).SendData("a\r\nb\r\n").Reply("226 Done");
  }
  after.OnEach({"200 Type set", "200 PORT ok", "150 Opening"}).ReceiveData().Reply("226 Done");
  for (int i = 0; i < 2; ++i) after.OnEach({"200 Type set", "200 PORT", "550 No"});
  after.On("257 \"/done\"");
  auto server = StartServer(after);
  auto ftp = LogOn(*server);
  ftp->Download("text", Dir + "text", 0, {.ListedSize = 6});
  ftp->Download("short", Dir + "short", 0, {.ListedSize = 7});
  ftp->Download("binary", Dir + "binary", 1);
  ftp->Upload(Dir + "up.txt", "up.txt", 0);
  ftp->Download("r", Dir + "e", 2);
  ftp->Download("r", Dir + "l", 3);
  Finish(*ftp);
  EXPECT_EQ(ReadFile(Dir + "text"), "a\nb\n");
  EXPECT_EQ(EventsStartingWith("error:20004:"),
            TCommands{"error:20004:The download of short came to 6 bytes instead of the 7 bytes "
                      "the listing gave"});
  EXPECT_EQ(ReadFile(Dir + "binary"), "a\r\nb\r\n");
  EXPECT_EQ(server->Uploaded(), "one\r\ntwo\r\n");
  TCommands types;
  for (const std::string& command : Sent(*server)) {
    if (StartsWith(command, "TYPE ")) types.push_back(command);
  }
  EXPECT_EQ(types, (TCommands{"TYPE A", "TYPE I", "TYPE A", "TYPE E", "TYPE L"}));
}

// A server that does not stop: a listing without end, a reply without end (in one burst, or
// a line at a time so that bytes keep coming), each ends in its own error within the time-out,
// and the connection's memory stays bounded (one that never connects back is a row of the
// whole downloads' table).
TEST_F(TransferTest, EndlessListingsAndRepliesEndInAnError) {
  const struct {
    const char* Name;
    std::function<void(TScript&)> Play;
    std::function<void(TFTPComponent&)> Ask;
    const char* Error;    // how the first error event starts
    int TimeoutMs = 700;  // long enough for the bound to be reached first where it is the point
  } cases[] = {
      {"a listing of more lines than any real folder has",
       [](TScript& s) {
         s.On("200 PORT ok").On("150 Here it comes");
         s.DataHold(std::string(kMaxListingLines + 1, '\n')).WaitClose();
       },
       [](TFTPComponent& ftp) { ftp.List(); }, "error:0:The listing is too large: more than",
       60000},
      {"a reply of more than a MiB",
       [](TScript& s) {
         std::string lines;
         while (lines.size() <= (size_t{1} << 20)) lines += "257-and more\r\n";
         s.Read().Send(lines).WaitClose();
       },
       [](TFTPComponent& ftp) { ftp.GetFolder(); },
       "error:10040:the server's reply to PWD was longer than 1 MiB"},
      {"a reply whose lines keep coming",
       [](TScript& s) {
         s.Read();
         for (int i = 0; i < 12; ++i) s.Send("257-still going\r\n").Pause(150);
         s.WaitClose();
       },
       [](TFTPComponent& ftp) { ftp.GetFolder(); },
       "error:10060:timed out after 0.7 s waiting for the server's reply to PWD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EngineSettings().FTPTimeout = c.TimeoutMs;
    Events.clear();
    TScript after;
    c.Play(after);
    auto server = StartServer(after);
    auto ftp = LogOn(*server);
    c.Ask(*ftp);
    ASSERT_TRUE(RunUntil([&] { return !EventsStartingWith("error:").empty(); }));
    EXPECT_TRUE(StartsWith(EventsStartingWith("error:").front(), c.Error))
        << EventsStartingWith("error:").front();
    EXPECT_LT(CountEvents("log:257-still going"), 12) << "the time-out runs from the command";
    ftp.reset();
  }
}

}  // namespace
}  // namespace pelmar::test
