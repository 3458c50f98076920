// Connecting and logging on: attempts and retries, the log-on dialogue, the four firewall
// variants, the resume probe and QUIT.

#include <gtest/gtest.h>

#include "engine/EngineSettings.h"
#include "support/EngineFixture.h"
#include "support/ScriptedFtpServer.h"
#include "support/ServerProcess.h"

namespace pelmar::test {
namespace {

class SessionTest : public EngineTest {
 protected:
  // Connects as "u" (password "pw", account "acc") to `server`, or through it as the firewall
  // of type `firewall` (logged on to as "fwuser", "fwpass").
  std::unique_ptr<TFTPComponent> Start(const TScriptedFtpServer& server, int firewall = -1,
                                       const std::string& user = "u",
                                       TEncryption encryption = enPlain) {
    auto ftp = MakeComponent();
    ftp->User = user;
    ftp->Password = "pw";
    ftp->Account = "acc";
    ftp->Encryption = encryption;
    if (firewall < 0) {
      ftp->Host = "127.0.0.1";
      ftp->Port = server.Port();
      ftp->Connect();
      return ftp;
    }
    ftp->Host = "ftp.example.com";  // never resolved: the firewall is what we connect to
    ftp->Port = 21;
    ftp->FirewallType = static_cast<uint8_t>(firewall);
    ftp->FirewallHost = "127.0.0.1";
    ftp->FirewallPort = server.Port();
    ftp->FirewallUser = "fwuser";
    ftp->FirewallPassword = "fwpass";
    ftp->ConnectViaFirewall();
    return ftp;
  }
  bool WaitForOutcome() {
    return RunUntil([&] { return CountEvents("loggedin") + CountEvents("connectfailed") > 0; });
  }
};

// The log-on dialogues, directly and through each of the four kinds of firewall.
TEST_F(SessionTest, LogOnDialogues) {
  const auto hi = [] { return TScript().Reply("220 Hi"); };
  const auto firewall = [] { return TScript().Reply("220 Firewall"); };
  const std::string attempt = "log:Attempting to connect to ftp.example.com, attempt 1\r\n";
  const char* ascii = "501 REST: Resuming transfers not allowed in ASCII mode";
  const struct {
    const char* Name;
    TScript Script;
    TCommands Commands;
    bool LoggedOn;
    std::vector<std::string> Logs;  // log lines that must appear, in order
    int Firewall = -1;              // its type; -1: none
  } cases[] = {
      {"user, password",
       hi().OnEach({"331 Pass", "230 In"}).Probe(),
       {"USER u", "PASS pw", "FEAT", "REST 100", "REST 0"},
       true,
       {"log:USER u", "log:331 Pass", "log:PASS xxxxx", "log:230 In",
        "log:\r\nServer can resume broken downloads\r\n"}},
      {"user alone is enough; REST refused in both modes",
       hi().OnEach({"230 In", "211 End", "502 No", "502 No", "200 Type I", "502 No", "200 Type A"}),
       {"USER u", "FEAT", "REST 100", "REST 0", "TYPE I", "REST 100", "TYPE A"},
       true,
       {"log:230 In", "log:\r\nServer unable to resume broken downloads\r\n"}},
      {"the features name REST STREAM: no probe; UTF8 switched on",
       hi().OnEach({"230 In"})
           .Then(TScript().Read().Reply("211-Features:").Reply(" MDTM").Reply(" REST STREAM"))
           .Then(TScript().Reply(" utf8").Reply("211 End").On("200 UTF8 set")),
       {"USER u", "FEAT", "OPTS UTF8 ON"},
       true,
       {"log:FEAT", "log:\r\nServer can resume broken downloads\r\n"}},
      {"REST refused in text mode only",
       hi().OnEach(
           {"230 In", "502 No FEAT", ascii, ascii, "200 Type I", "350 R", "350 R", "200 Type A"}),
       {"USER u", "FEAT", "REST 100", "REST 0", "TYPE I", "REST 100", "REST 0", "TYPE A"},
       true,
       {"log:230 In", "log:\r\nServer can resume broken downloads\r\n"}},
      {"account after password",
       hi().OnEach({"331 Pass", "332 Acct", "230 In"}).Probe(),
       {"USER u", "PASS pw", "ACCT acc", "FEAT", "REST 100", "REST 0"},
       true,
       {"log:ACCT acc"}},
      {"account first, then password",
       hi().OnEach({"332 Acct", "331 Pass", "230 In"}).Probe(),
       {"USER u", "ACCT acc", "PASS pw", "FEAT", "REST 100", "REST 0"},
       true,
       {}},
      {"password refused",
       hi().OnEach({"331 Pass", "530 Login incorrect"}),
       {"USER u", "PASS pw"},
       false,
       {"log:530 Login incorrect", "log:Failed to Log in to Host"}},
      {"greeting refused",
       TScript().Reply("421 Too many users").Close(),
       {},
       false,
       {"log:421 Too many users", "log:Failed to Connect"}},
      {"firewall site: log on to the firewall, then SITE host:port",
       firewall()
           .OnEach({"331 Pass", "230 Fw in", "200 Site ok", "220 Server"})
           .Reply("331 Pass")
           .On("230 In")
           .Probe(),
       {"USER fwuser", "PASS fwpass", "SITE ftp.example.com:21", "USER u", "PASS pw", "FEAT",
        "REST 100", "REST 0"},
       true,
       {attempt},
       0},
      {"firewall proxy: OPEN host:port, whose reply must be 220",
       firewall().OnEach({"220 Opened", "331 Pass", "230 In"}).Probe(),
       {"OPEN ftp.example.com:21", "USER u", "PASS pw", "FEAT", "REST 100", "REST 0"},
       true,
       {attempt},
       1},
      {"firewall user with login: USER user@host:port after the firewall log-on",
       firewall()
           .OnEach({"331 Pass", "230 Fw in", "220 Server"})
           .Reply("331 Pass")
           .On("230 In")
           .Probe(),
       {"USER fwuser", "PASS fwpass", "USER u@ftp.example.com:21", "PASS pw", "FEAT", "REST 100",
        "REST 0"},
       true,
       {attempt},
       2},
      {"firewall user without login: only USER user@host:port",
       firewall().OnEach({"331 Pass", "230 In"}).Probe(),
       {"USER u@ftp.example.com:21", "PASS pw", "FEAT", "REST 100", "REST 0"},
       true,
       {attempt},
       3},
  };
  EngineSettings().FTPRetries = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Events.clear();
    TScriptedFtpServer server({c.Script});
    auto ftp = Start(server, c.Firewall);
    ASSERT_TRUE(WaitForOutcome());
    EXPECT_EQ(CountEvents("loggedin"), c.LoggedOn ? 1 : 0);
    EXPECT_EQ(server.Commands(), c.Commands);
    auto logs = EventsStartingWith("log:");
    size_t at = 0;
    for (const auto& line : c.Logs) {
      while (at < logs.size() && logs[at] != line) ++at;
      EXPECT_LT(at, logs.size()) << "missing or out of order: " << line;
    }
    EXPECT_EQ(CountEvents("log:PASS pw") + CountEvents("log:PASS fwpass"), 0);
    if (!c.LoggedOn) {
      EXPECT_EQ(NonLogEvents().back(), "connectfailed");
      EXPECT_FALSE(ftp->IsConnected());
    } else {
      EXPECT_EQ(ftp->LoggedIn, 1);
    }
  }
}

TEST_F(SessionTest, NoPasswordInClearWhenTlsWasAskedFor) {
  const struct {
    const char* Name;
    TEncryption Encryption;
    TScript Script;
    TCommands Commands;
    bool LoggedOn;
    const char* Line;  // a log line or error text that must appear
  } cases[] = {
      {"required, AUTH refused: nothing more, and no second attempt",
       enExplicitTls,
       TScript().Reply("220 Hi").On("500 AUTH not understood").WaitClose(),
       {"AUTH TLS"},
       false,
       "error:0:The server refused FTP over TLS (AUTH TLS); nothing more was sent"},
      {"required, 234 but no TLS follows (the handshake times out)",
       enExplicitTls,
       TScript().Reply("220 Hi").On("234 Go ahead").Reply("220 plain text again").WaitClose(),
       {"AUTH TLS"},
       false,
       "connectfailed"},
      {"if offered, AUTH refused: plain FTP with a note",
       enExplicitIfOffered,
       TScript().Reply("220 Hi").OnEach({"502 No", "331 Pass", "230 In"}).Probe(),
       {"AUTH TLS", "USER u", "PASS pw", "FEAT", "REST 100", "REST 0"},
       true,
       "log:The server does not offer FTP over TLS; going on without encryption"},
  };
  EngineSettings().FTPRetries = 3;
  EngineSettings().FTPTimeout = 2000;  // a loaded machine must not turn a step into a retry
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Events.clear();
    TScriptedFtpServer server({c.Script, c.Script, c.Script});
    auto ftp = Start(server, -1, "u", c.Encryption);
    ASSERT_TRUE(WaitForOutcome());
    EXPECT_EQ(server.Commands(), c.Commands);
    EXPECT_EQ(CountEvents("loggedin"), c.LoggedOn ? 1 : 0);
    EXPECT_EQ(CountEvents(c.Line), 1) << testing::PrintToString(Events);
    if (!c.LoggedOn) {
      EXPECT_EQ(server.Connections(), 1);
    }
  }
}

// Every attempt that got a connection and then failed (busy, silent) is retried up to the limit
// (0: no limit), each recording its failure; a refusal by the firewall is final.
TEST_F(SessionTest, AttemptsAndRetries) {
  const struct {
    const char* Name;
    int Retries;
    TScript Failing;  // what each failing attempt meets
    int Attempts;
    bool LoggedOn;  // at the last attempt
    const char* User;
    bool Firewall;
    const char* Event;  // recorded once by each failed attempt
  } cases[] = {
      {"busy each time", 3, TScript().Reply("421 Busy").Close(), 3, false, "u", false,
       "log:Failed to Connect"},
      {"busy, then in", 0, TScript().Reply("421 Busy").Close(), 3, true, "u", false,
       "log:Failed to Connect"},
      {"silent", 2, TScript().Reply("220 Hi").Read().WaitClose(), 2, false, "u", false,
       "error:10060:timed out after 0.3 s waiting for the server's reply to USER"},
      // No user: nothing is sent, and the wait is for a reply to nothing.
      {"no user", 1, TScript().Reply("220 Hi").WaitClose(), 1, false, "", false,
       "error:10060:timed out after 0.3 s waiting for the server's reply"},
      {"the firewall refuses", 3, TScript().Reply("220 Fw").On("331 Pass").On("530 No"), 1, false,
       "u", true, "log:Failed to Log in to Firewall"},
  };
  EngineSettings().FTPTimeout = 300;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Events.clear();
    EngineSettings().FTPRetries = c.Retries;
    // One connection more than expected, to show that it is not made.
    std::vector<TScript> scripts(static_cast<size_t>(c.Attempts) + 1, c.Failing);
    if (c.LoggedOn) scripts[scripts.size() - 2] = TScript().Reply("220 Hi").On("230 In").Probe();
    TScriptedFtpServer server(scripts);
    auto ftp = Start(server, c.Firewall ? 0 : -1, c.User);
    ASSERT_TRUE(WaitForOutcome());
    EXPECT_EQ(server.Connections(), c.Attempts);
    EXPECT_EQ(EventsStartingWith("log:Attempting").size(), static_cast<size_t>(c.Attempts));
    EXPECT_EQ(CountEvents(c.Event), c.LoggedOn ? c.Attempts - 1 : c.Attempts);
    EXPECT_EQ(NonLogEvents().back(), c.LoggedOn ? "loggedin" : "connectfailed");
    EXPECT_EQ(CountEvents("connectfailed"), c.LoggedOn ? 0 : 1);
    if (!*c.User) {
      EXPECT_TRUE(server.Commands().empty());
    }
  }
}

TEST_F(SessionTest, AConnectionThatCannotBeMadeIsReportedOnceAndNotRetried) {
  EngineSettings().FTPRetries = 5;
  const uint16_t closedPort = FreePort();
  for (const auto& [host, error] : {std::pair{"127.0.0.1", "error:10061:Connection refused"},
                                    std::pair{"no-such-host.invalid", "error:1100"}}) {
    SCOPED_TRACE(host);
    Events.clear();
    auto ftp = MakeComponent();
    ftp->Host = host;
    ftp->Port = closedPort;
    ftp->User = "u";
    ftp->Connect();
    ASSERT_TRUE(WaitForOutcome());
    EXPECT_EQ(EventsStartingWith("log:Attempting").size(), 1u);
    const auto events = NonLogEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].rfind(error, 0), 0u) << events[0];
    EXPECT_EQ(events[1], "disconnected");
  }
}

}  // namespace
}  // namespace pelmar::test
