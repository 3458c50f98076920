// Commands and replies on the control connection, through a real worker and the scripted
// server: framing, the transcript in the log, and the events that replies carry.

#include <gtest/gtest.h>

#include "engine/EngineSettings.h"
#include "support/EngineFixture.h"
#include "support/ScriptedFtpServer.h"

namespace pelmar::test {
namespace {

const std::string kAttempt = "log:Attempting to connect to 127.0.0.1, attempt 1\r\n";

class ControlConnectionTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    EngineSettings().FTPRetries = 1;
  }
};

TEST_F(ControlConnectionTest, TwoRepliesInOneSegmentAnswerTwoReads) {
  // The 230 arrives with the 331; the PASS that follows is answered from what is buffered.
  // That answer repeats the password, which the log does not.
  TScript script;
  script.Reply("220 Ready")
      .Read()
      .Send("331 Password\r\n230-Hello guest@example.com\r\n230 Logged in\r\n")
      .Read();
  script.Probe();
  TScriptedFtpServer server({script});
  auto ftp = MakeConnectedComponent(server.Port());
  ftp->Connect();
  ASSERT_TRUE(WaitForEvent("loggedin"));
  EXPECT_EQ(server.Commands(), (std::vector<std::string>{"USER anonymous", "PASS guest@example.com",
                                                         "FEAT", "REST 100", "REST 0"}));
  EXPECT_EQ(CountEvents("log:230 Logged in"), 1);
  EXPECT_EQ(CountEvents("log:230-Hello ***"), 1);
  EXPECT_EQ(CountEvents("log:PASS xxxxx"), 1);
  EXPECT_EQ(CountEvents("log:PASS guest@example.com"), 0) << "the password never reaches the log";
}

TEST_F(ControlConnectionTest, ServerClosingBeforeAFinalLineFailsTheLogOn) {
  TScript script;
  script.Send("220-partial\r\n").Close();
  TScriptedFtpServer server({script});
  auto ftp = MakeConnectedComponent(server.Port());
  ftp->Connect();
  ASSERT_TRUE(WaitForEvent("connectfailed"));
  EXPECT_EQ(EventsStartingWith("log:"),
            (std::vector<std::string>{kAttempt, "log:220-partial", "log:Failed to Connect"}));
  EXPECT_EQ(NonLogEvents(), (std::vector<std::string>{"disconnected", "connectfailed"}));
}

TEST_F(LoggedOnTest, FolderRepliesBecomeFolderEventsOfTheRequestsKind) {
  TScript after;
  after.OnEach({"257 \"/pub\" is current", "502 Not implemented", "257 \"/pub/new\" created",
                "550 No such folder", "500 Unknown", "257 \"/pub/old\" removed",
                "257 \"/odd\" is where you are", "500 Unknown", "257 \"/cur\""});
  auto server = StartServer(after);
  auto ftp = LogOn(*server);
  ftp->GetFolder();
  ftp->MakeFolder("new");  // 502 leads to XMKD; its 257 is an event but not success
  ftp->ChangeFolder("x");  // 550 has no fallback
  ftp->RemoveFolder("old");
  ftp->ChangeFolder("odd");
  ftp->GetFolder();
  ASSERT_TRUE(WaitForEvent("folder:0:/cur"));
  EXPECT_EQ(Sent(*server),
            (std::vector<std::string>{"PWD", "MKD new", "XMKD new", "CWD x", "RMD old", "XRMD old",
                                      "CWD odd", "PWD", "XPWD"}));
  EXPECT_EQ(EventsStartingWith("folder:"),
            (std::vector<std::string>{"folder:0:/pub", "folder:2:/pub/new", "folder:3:/pub/old",
                                      "folder:1:/odd", "folder:0:/cur"}));
}

TEST_F(LoggedOnTest, RemoteOperationsSendTheirCommands) {
  TScript after;
  // RNFR refused: no RNTO; any 2xx to SITE CHMOD is success: no bare CHMOD.
  after.OnEach({"250 Deleted", "550 No", "350 Ready", "250 Renamed", "200 SITE CHMOD ok",
                "500 Unknown SITE", "250 CHMOD ok", "200 NOOP ok", "250 Changed"});
  auto server = StartServer(after);
  auto ftp = LogOn(*server);
  ftp->DeleteFile("a.txt");
  ftp->Rename("missing", "b");
  ftp->Rename("old name", "new name");
  ftp->ChangeMode("f", 4 | 8 | 32 | 256);
  ftp->ChangeMode("g", 256);
  ftp->KeepAlive();
  ftp->ChangeFolder("");
  ASSERT_TRUE(server->WaitForCommands(5 + 9, kWait));
  EXPECT_EQ(Sent(*server), (std::vector<std::string>{
                               "DELE a.txt", "RNFR missing", "RNFR old name", "RNTO new name",
                               "SITE CHMOD 644 f", "SITE CHMOD 4 g", "CHMOD 4 g", "NOOP", "CWD "}));
  ASSERT_TRUE(WaitForEvent("log:250 Changed"));
  EXPECT_EQ(CountEvents("log:DELE a.txt"), 1);
}

TEST_F(LoggedOnTest, CommandsWithLineBreaksAreNeverSent) {
  TScript after;
  after.On("257 \"/\"");
  auto server = StartServer(after);
  auto ftp = LogOn(*server);
  ftp->ChangeFolder("a\r\nDELE important");
  ftp->Rename("x", std::string("y\0z", 3));
  ftp->GetFolder();
  ASSERT_TRUE(WaitForEvent("folder:0:/"));
  EXPECT_EQ(Sent(*server), std::vector<std::string>{"PWD"});
  EXPECT_EQ(NonLogEvents(),
            (std::vector<std::string>{"error:0:Invalid character in command",
                                      "error:0:Invalid character in command", "folder:0:/"}));
}

}  // namespace
}  // namespace pelmar::test
