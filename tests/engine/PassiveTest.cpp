// Passive data connections against the scripted server: EPSV, the fall-back to PASV, a
// server naming another address, replies that cannot be read, and a silent data port.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <vector>

#include "engine/EngineSettings.h"
#include "support/EngineFixture.h"
#include "support/Files.h"
#include "support/ScriptedFtpServer.h"

namespace pelmar::test {
namespace {

class PassiveTest : public LoggedOnTest {
 protected:
  void SetUp() override {
    LoggedOnTest::SetUp();
    EngineSettings().PassiveMode = true;
  }
};

// Listings over EPSV, or PASV where EPSV is refused, from the control connection's peer; a
// passive reply that cannot be read, or a refusal, is an error and nothing more is sent.
TEST_F(PassiveTest, ListingsOverEpsvOrPasvFromTheControlPeer) {
  // One listing through the passive reply `reply`.
  const auto listed = [](const char* reply) {
    return TScript().Read().Passive(reply).On("150 Opening").SendData("listing").Reply("226 Done");
  };
  const struct {
    const char* Name;
    TScript After;
    TCommands Sent;
    const char* Line;  // a log line or error that must be there once, or nullptr
  } cases[] = {
      {"EPSV",
       listed("229 Entering Extended Passive Mode (|||{port}|)").On("257 \"/done\""),
       {"EPSV", "LIST", "PWD"},
       nullptr},
      {"PASV after a refused EPSV, and PASV only from then on",
       TScript()
           .On("500 EPSV not understood")
           .Then(listed("227 Entering Passive Mode (127,0,0,1,{p1},{p2})"))
           .Then(listed("227 Entering Passive Mode (127,0,0,1,{p1},{p2})."))
           .On("257 \"/done\""),
       {"EPSV", "PASV", "LIST", "PASV", "LIST", "PWD"},
       nullptr},
      {"a server behind NAT naming its private address",
       TScript()
           .On("502 No EPSV")
           .Then(listed("227 Entering Passive Mode (10,1,2,3,{p1},{p2})"))
           .On("257 \"/done\""),
       {"EPSV", "PASV", "LIST", "PWD"},
       "log:The server named 10.1.2.3 for passive mode; connecting to 127.0.0.1, the server's "
       "own address, instead"},
      {"an unreadable EPSV reply",
       TScript().On("229 Entering Extended Passive Mode (|||x|)").On("257 \"/done\""),
       {"EPSV", "PWD"},
       "error:0:Unreadable passive mode reply: 229 Entering Extended Passive Mode (|||x|)"},
      {"an unreadable PASV reply",
       TScript().OnEach({"500 no", "227 Entering Passive Mode (1,2,3)", "257 \"/done\""}),
       {"EPSV", "PASV", "PWD"},
       "error:0:Unreadable passive mode reply: 227 Entering Passive Mode (1,2,3)"},
      {"PASV refused",
       TScript().OnEach({"500 no", "425 Cannot open passive connection", "257 \"/done\""}),
       {"EPSV", "PASV", "PWD"},
       "error:0:Passive mode refused: 425 Cannot open passive connection"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Events.clear();
    Listing.clear();
    auto server = StartServer(c.After);
    auto ftp = LogOn(*server);
    ftp->List();
    if (c.Sent.size() > 4) ftp->List();
    Finish(*ftp);
    EXPECT_EQ(Sent(*server), c.Sent);
    const bool ok = std::find(c.Sent.begin(), c.Sent.end(), "LIST") != c.Sent.end();
    EXPECT_EQ(Listing, ok ? "listing" : "");
    EXPECT_EQ(EventsStartingWith("error:").size(), ok ? 0u : 2u);
    EXPECT_EQ(CountEvents("error:0:Unable to complete transfer"), ok ? 0 : 1);
    if (c.Line) {
      EXPECT_EQ(CountEvents(c.Line), 1);
    }
  }
}

// A download's time, where the listing gave none exactly, is asked ahead of its data port and
// comes back with it: MDTM and EPSV go out together, and RETR with them once EPSV has worked.
// (Each Read below takes a command before any reply: a client that waited would stall here.)
// Where the data port then fails with RETR already sent behind EPSV, RETR's own answer is read
// too, so every later reply still answers its own command.
TEST_F(PassiveTest, TheTimeIsAskedWithTheDataPortAndEveryReplyStillAnswersItsOwnCommand) {
  const std::string port = "229 Entering Extended Passive Mode (|||{port}|)";
  TScript after;
  after.On("200 Type set").Read().Read().Reply("213 20200115120001").Passive(port);
  after.On("150 Opening").SendData("a").Reply("226 Done");
  after.Read().Read().Read().Reply("213 20200115120002").Passive(port).Reply("150 Opening");
  after.SendData("b").Reply("226 Done");
  after.Read().Read().Read().Reply("213 20200115120003").Reply("425 No passive ports left");
  after.Reply("503 Bad sequence of commands").On("257 \"/done\"");
  auto server = StartServer(after, "350 R", "211-Features:\r\n MDTM\r\n211 End");
  auto ftp = LogOn(*server);
  std::vector<int64_t> times;
  ftp->OnProgress = [&times](TFTPComponent& c, uint8_t kind, bool, int64_t) {
    if (kind == pkDone) times.push_back(c.LastServerTime);
  };
  const std::string local = ::testing::TempDir() + "pelmar-passive-time-";
  for (const char* name : {"a", "b", "c"}) ftp->Download(name, local + name, 1);
  Finish(*ftp);
  EXPECT_EQ(Sent(*server), (TCommands{"TYPE I", "MDTM a", "EPSV", "RETR a", "MDTM b", "EPSV",
                                      "RETR b", "MDTM c", "EPSV", "RETR c", "PWD"}));
  EXPECT_EQ(times, (std::vector<int64_t>{1579089601, 1579089602}));
  EXPECT_EQ(CountEvents("error:0:Passive mode refused: 425 No passive ports left"), 1);
  EXPECT_EQ(CountEvents("folder:0:/done"), 1) << "PWD's reply read as PWD's";
  for (const char* name : {"a", "b", "c"}) std::remove((local + name).c_str());
}

// What one file and one folder cost once a listing has shown that EPSV works, with and without
// MLSD: the commands, and which go out together. Each Read takes a command before any reply
// comes, so a command that waited for the one before would stall the script.
TEST_F(PassiveTest, WhatAFileAndAFolderCost) {
  const std::string port = "229 Entering Extended Passive Mode (|||{port}|)";
  const std::string mlsdFeat =
      "211-Features:\r\n MLST type*;size*;modify*;\r\n MDTM\r\n SIZE\r\n"
      " MFMT\r\n211 End";
  const std::string listFeat = "211-Features:\r\n MDTM\r\n SIZE\r\n MFMT\r\n211 End";
  const std::string local = ::testing::TempDir() + "pelmar-passive-cost";
  WriteFile(local, "x");
  const struct {
    const char* Name;
    bool Mlsd;
    std::function<void(TFTPComponent&)> Request;
    TScript Served;  // after the first listing
    TCommands Sent;  // by the request
  } cases[] = {
      {"a download, its time from MLSD",
       true,
       [&](TFTPComponent& ftp) {
         ftp.Download("f", local + ".down", 1, {.ListedSize = 1, .ServerTime = 1579089601});
       },
       TScript()
           .On("200 Type set")
           .Read()
           .Read()
           .Passive(port)
           .Reply("150 Opening")
           .SendData("x")
           .Reply("226 Done"),
       {"EPSV", "RETR f"}},
      {"a download, its time by MDTM",
       false,
       [&](TFTPComponent& ftp) { ftp.Download("f", local + ".down", 1, {.ListedSize = 1}); },
       TScript()
           .On("200 Type set")
           .Read()
           .Read()
           .Read()
           .Reply("213 20200115120001")
           .Passive(port)
           .Reply("150 Opening")
           .SendData("x")
           .Reply("226 Done"),
       {"MDTM f", "EPSV", "RETR f"}},
      {"a folder by MLSD path",
       true,
       [](TFTPComponent& ftp) { ftp.List("/d/"); },
       TScript()
           .Read()
           .Read()
           .Passive(port)
           .Reply("150 Opening")
           .SendData("type=file; f\r\n")
           .Reply("226 Done"),
       {"EPSV", "MLSD /d/"}},
      {"a folder by LIST",
       false,
       [](TFTPComponent& ftp) { ftp.List("/d/"); },
       TScript()
           .On("250 In")
           .Read()
           .Read()
           .Passive(port)
           .Reply("150 Opening")
           .SendData("-rw-r--r-- 1 u g 1 Jan 15  2020 f\r\n")
           .Reply("226 Done"),
       {"CWD /d/", "EPSV", "LIST"}},
      {"an upload, its size checked and its time set",
       true,
       [&](TFTPComponent& ftp) { ftp.Upload(local, "f", 1, true); },
       TScript()
           .On("200 Type set")
           .Read()
           .Read()
           .Passive(port)
           .Reply("150 Go")
           .ReceiveData()
           .Reply("226 Done")
           .OnEach({"213 1", "213 Modify=20200115120001; f"}),
       {"EPSV", "STOR f", "SIZE f", "MFMT"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Events.clear();
    TScript script;
    script.Read().Passive(port).On("150 Opening").SendData("").Reply("226 Done");
    script.Then(c.Served).On("257 \"/done\"");
    auto server = StartServer(script, "350 R", c.Mlsd ? mlsdFeat : listFeat);
    auto ftp = LogOn(*server);
    ftp->List();
    c.Request(*ftp);
    Finish(*ftp);
    TCommands sent;
    for (const std::string& command : Sent(*server)) {
      // The file's own time (the test's clock) and the one TYPE a connection needs aside.
      if (command != "TYPE I") sent.push_back(command.rfind("MFMT ", 0) == 0 ? "MFMT" : command);
    }
    TCommands expected{"EPSV", c.Mlsd ? "MLSD" : "LIST"};
    expected.insert(expected.end(), c.Sent.begin(), c.Sent.end());
    expected.push_back("PWD");  // Finish's
    EXPECT_EQ(sent, expected);
    EXPECT_TRUE(EventsStartingWith("error:").empty()) << EventsStartingWith("error:").front();
  }
  for (const char* end : {"", ".down"}) std::remove((local + end).c_str());
}

// A connection that moves file after file reads a download's data while its 150 is on the way
// and asks the next data port as the data ends, before the transfer's replies (each Read
// before a reply would stall a client that waited for them); the next download's RETR goes
// before that port's answer is read. A port that is gone by then costs the RETR's refusal and
// a fresh EPSV; a refused one only the answer.
TEST_F(PassiveTest, TheNextDataPortIsAskedAsADownloadsDataEnds) {
  const std::string port = "229 Entering Extended Passive Mode (|||{port}|)";
  TScript after;
  // a: the data before its 150.
  after.On("200 Type set").Read().Passive(port).Read().SendData("a").Read();
  after.Reply("150 Opening").Reply("226 Done").Passive(port);
  // b: on the port asked ahead, its MDTM and RETR sent before that port's answer came, and
  // connected before MDTM's answer came.
  after.Read().Read().SendData("b").Reply("213 20200115120002").Read();
  after.Reply("150 Opening").Reply("226 Done");
  after.Reply("229 Entering Extended Passive Mode (|||1|)");  // where nobody listens
  // c: the 150 before the data; EPSV at the data's end.
  after.On("425 No data connection").Read().Passive(port).Read().Reply("150 Opening");
  after.SendData("c").Read().Reply("226 Done").Reply("500 Not now");
  after.On("257 \"/done\"");
  auto server = StartServer(after, "350 R", "211-Features:\r\n MDTM\r\n211 End");
  auto ftp = LogOn(*server);
  ftp->SetPortAhead(true);
  const std::string local = ::testing::TempDir() + "pelmar-passive-ahead-";
  for (const char* name : {"a", "b", "c"}) {
    // Only b's time is not known from the listing.
    const int64_t listed = name[0] == 'b' ? -1 : 1579089601;
    ftp->Download(name, local + name, 1, {.ServerTime = listed});
  }
  Finish(*ftp);
  EXPECT_EQ(Sent(*server), (TCommands{"TYPE I", "EPSV", "RETR a", "EPSV", "MDTM b", "RETR b",
                                      "EPSV", "RETR c", "EPSV", "RETR c", "EPSV", "PWD"}));
  for (const char* name : {"a", "b", "c"}) {
    EXPECT_EQ(ReadFile(local + name), name);
    std::remove((local + name).c_str());
  }
  EXPECT_TRUE(EventsStartingWith("error:").empty()) << EventsStartingWith("error:").front();
  EXPECT_EQ(CountEvents("log:The data port 1 asked for earlier is gone; asking again"), 1);
  EXPECT_EQ(CountEvents("folder:0:/done"), 1) << "PWD's reply read as PWD's";
}

// Data read while the 150 is on the way counts only once the server has taken the command,
// and only as far as it came whole: a refusal after it leaves no file, a data connection
// reset under it fails the download, and the port asked as that data ended is still read
// before the next command's reply.
TEST_F(PassiveTest, DataBeforeThe150CountsOnlyOnceTheServerTookTheCommand) {
  const std::string port = "229 Entering Extended Passive Mode (|||{port}|)";
  const struct {
    const char* Name;
    TScript Served;  // after TYPE I, EPSV and RETR a
    TCommands Sent;
    int Written;  // whether the local file exists afterwards (-1: either; a reset may drop data)
  } cases[] = {
      {"refused after an empty data connection",
       TScript().SendData("").Read().Reply("550 No such file").Passive(port),
       {"TYPE I", "EPSV", "RETR a", "EPSV", "PWD"},
       0},
      {"refused after data",
       TScript().SendData("stale").Read().Reply("550 No such file").Reply("500 Not now"),
       {"TYPE I", "EPSV", "RETR a", "EPSV", "PWD"},
       0},
      {"reset under the data",
       TScript().DataHold("ab").ResetData().Reply("150 Opening").Reply("226 Done"),
       {"TYPE I", "EPSV", "RETR a", "PWD"},
       -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Events.clear();
    TScript after;
    after.On("200 Type set").Read().Passive(port).Read().Then(c.Served);
    after.On("257 \"/done\"");
    auto server = StartServer(after);
    auto ftp = LogOn(*server);
    ftp->SetPortAhead(true);
    const std::string local = ::testing::TempDir() + "pelmar-passive-before-150";
    std::remove(local.c_str());
    ftp->Download("a", local, 1);
    Finish(*ftp);
    EXPECT_EQ(Sent(*server), c.Sent);
    EXPECT_EQ(CountEvents("error:0:Unable to complete transfer"), 1);
    if (c.Written >= 0) {
      EXPECT_EQ(std::ifstream(local).good(), c.Written == 1);
    }
    EXPECT_EQ(CountEvents("folder:0:/done"), 1) << "PWD's reply read as PWD's";
    std::remove(local.c_str());
  }
}

TEST_F(PassiveTest, ASilentDataPortEndsInTheTimeOutAndAbortStopsATransfer) {
  EngineSettings().FTPTimeout = 300;
  TScript after;
  after.Read().Passive("229 Entering Extended Passive Mode (|||{port}|)").On("150 Opening");
  after.DataHold("").Pause(500).Reply("426 Closed").On("257 \"/done\"");
  auto server = StartServer(after);
  auto ftp = LogOn(*server);
  ftp->List();
  Finish(*ftp);
  EXPECT_EQ(CountEvents("listing"), 0);
  EXPECT_EQ(CountEvents("error:10060:timed out after 0.3 s waiting for data of LIST"), 1);

  // ABOR while data comes: the 426 and the 226 are read and shown. A server that aborts before
  // its first byte may answer ABOR with 225 alone, and RETR never: the next command's reply is
  // still its own, on the same connection.
  EngineSettings().FTPTimeout = 5000;
  const struct {
    const char* Held;  // data sent before the abort
    std::vector<const char*> Replies;
  } aborts[] = {{"partial", {"426 Aborted", "226 ABOR successful"}},
                {"", {"225 ABOR command successful; data channel closed."}}};
  for (const auto& c : aborts) {
    SCOPED_TRACE(c.Replies.front());
    Events.clear();
    TScript held;
    held.On("200 Type set").Read().Passive("229 Entering Extended Passive Mode (|||{port}|)");
    held.On("150 Opening").DataHold(c.Held).Read().CloseData();
    for (const char* reply : c.Replies) held.Reply(reply);
    held.On("257 \"/done\"");
    auto aborting = StartServer(held);
    auto download = LogOn(*aborting);
    download->Download("remote", ::testing::TempDir() + "pelmar-passive-abort", 1);
    ASSERT_TRUE(WaitForEvent("progress:0:1:0"));
    download->Abort();
    Finish(*download);
    EXPECT_EQ(Sent(*aborting), (TCommands{"TYPE I", "EPSV", "RETR remote", "ABOR", "PWD"}));
    EXPECT_EQ(CountEvents("aborted"), 1);
    EXPECT_EQ(CountEvents("log:" + std::string(c.Replies.front())), 1)
        << "the replies to ABOR are read and shown";
    EXPECT_EQ(CountEvents("folder:0:/done"), 1) << "PWD answered on the same connection";
    EXPECT_EQ(CountEvents("disconnected"), 0);
  }
}

TEST_F(PassiveTest, AbortEndsAConnectToTheDataPortThatNeverCompletes) {
  EngineSettings().FTPTimeout = 600000;  // only the abort can end the wait in time
  TScript after;
  after.Read().PassiveFull("229 Entering Extended Passive Mode (|||{port}|)");
  after.On("257 \"/done\"");
  auto server = StartServer(after);
  auto ftp = LogOn(*server);
  ftp->List();
  ASSERT_TRUE(RunUntil([&] { return !EventsStartingWith("log:229 ").empty(); }));
  ftp->Abort();
  Finish(*ftp);
  EXPECT_EQ(Sent(*server), (TCommands{"EPSV", "PWD"})) << "no LIST without a data connection";
  EXPECT_EQ(CountEvents("error:10004:Operation interrupted"), 1);
}

}  // namespace
}  // namespace pelmar::test
