// SFTP against OpenSSH's sshd and against a scripted server that misbehaves: log-on with keys
// and passwords, host key decisions, transfers and remote operations through the engine and
// pelmar-cli (resume both ways, file times, a replacement through a temporary name), and broken
// or hostile servers.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/EngineSettings.h"
#include "engine/Messages.h"
#include "support/CliRun.h"
#include "support/EngineFixture.h"
#include "support/Files.h"
#include "support/RealSshServer.h"

namespace pelmar::test {
namespace {

using enum TSshServerKind;

constexpr time_t kServerTime = 1579089601;  // 2020-01-15 12:00:01 UTC
constexpr time_t kLocalTime = 1500000000;

// This process's connections to `port` that are still open at its end (established, or closed
// by the server and not yet here): /proc/net/tcp's lines whose socket one of our descriptors is.
int OpenClientConnections(int port) {
  std::set<std::string> ours;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (!error && target.rfind("socket:[", 0) == 0)
      ours.insert(target.substr(8, target.size() - 9));
  }
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);
  int open = 0;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
        timeout >> inode;
    const auto colon = remote.find(':');
    if (colon == std::string::npos || !ours.count(inode)) continue;
    const int remotePort = std::stoi(remote.substr(colon + 1), nullptr, 16);
    if (remotePort == port && (state == "01" || state == "08")) ++open;
  }
  return open;
}

class SftpTest : public EngineTest {
 protected:
  void TearDown() override {
    Ftp.reset();
    EngineTest::TearDown();
    Server.reset();
  }
  // A fresh server (the last one goes first: each holds HOME while it lives).
  void Start(TSshServerKind kind, std::vector<std::string> switches = {}) {
    Ftp.reset();
    Server.reset();
    if (const std::string why = TRealSshServer::CannotRun(kind); !why.empty()) {
      GTEST_SKIP() << why;
    }
    Server = std::make_unique<TRealSshServer>(kind, std::move(switches));
    ASSERT_TRUE(Server->Started()) << Server->StartError();
    Local = Server->Root() + "../local/";
    ::mkdir(Local.c_str(), 0755);
  }
  // A host key question is answered with `decision` and kept in Questions.
  bool LogOn(const std::string& password = "", const std::string& keyFile = "",
             TTrustDecision decision = tdRefuse) {
    Ftp = MakeComponent();
    Ftp->Protocol = prSftp;
    Ftp->Host = "127.0.0.1";
    Ftp->Port = Server->Port();
    Ftp->User = Server->User();
    Ftp->Password = password;
    Ftp->KeyFile = keyFile;
    // The server's time of each download, as the end of its transfer reports it.
    Ftp->OnProgress = [this, report = Ftp->OnProgress](TFTPComponent& sender, uint8_t kind,
                                                       bool isFile, int64_t count) {
      report(sender, kind, isFile, count);
      if (kind == pkDone && isFile) {
        Done.push_back(sender.TransferCompleted ? sender.LastServerTime : -2);
      }
    };
    return ConnectAndWait(*Ftp, decision);
  }
  TRun Cli(int status, const std::string& arguments) const {
    return RunCli(status, arguments + " </dev/null", Local, false);
  }

  std::unique_ptr<TRealSshServer> Server;
  std::unique_ptr<TFTPComponent> Ftp;
  // Per finished download or upload: the server's time (-1 none), or -2 when it failed.
  std::vector<int64_t> Done;
  std::string Local;  // beside the served folder, with a trailing "/"
};

TEST_F(SftpTest, LogOnWithKeysAndPasswords) {
  const struct {
    const char* Name;
    TSshServerKind Kind;
    std::string How;  // sshd: the key offered (default, agent, file, none); scripted: --auth
    const char* Password;
    const char* Said;  // the log line of the outcome
  } cases[] = {
      {"the default key", OpenSsh, "default", "", "SSH: logged on with a key as "},
      {"the agent's key", OpenSsh, "agent", "", "SSH: logged on with a key as "},
      {"a key file", OpenSsh, "file", "", "SSH: logged on with a key as "},
      {"no key", OpenSsh, "none", "", "SSH: no key was accepted"},
      {"a password", Scripted, "password", "secret", "SSH: logged on with a password as pelmar"},
      {"keyboard-interactive", Scripted, "keyboard-interactive", "secret",
       "SSH: logged on (keyboard-interactive) as pelmar"},
      {"a wrong password", Scripted, "both", "wrong",
       "SSH: the password was refused (keyboard-interactive)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Start(c.Kind, c.Kind == Scripted ? std::vector<std::string>{"--auth=" + c.How}
                                     : std::vector<std::string>{});
    if (IsSkipped()) continue;
    Server->TrustHostKey();
    Server->SetDefaultKey(c.How == "default");
    if (c.How == "agent") {
      ASSERT_TRUE(Server->StartAgent());
    }
    Events.clear();
    const bool refused = std::string(c.Said).find("logged on") == std::string::npos;
    EXPECT_EQ(LogOn(c.Password, c.How == "file" ? Server->KeyFile() : ""), !refused);
    EXPECT_EQ(EventsStartingWith("log:" + std::string(c.Said)).size(), 1u)
        << testing::PrintToString(Events);
    if (refused) {
      EXPECT_EQ(CountEvents("log:Failed to Log in to Host"), 1);
      EXPECT_EQ(EventsStartingWith("log:Attempting to connect").size(), 1u) << "refusal is final";
    }
  }
}

TEST_F(SftpTest, HostKeyDecisions) {
  Start(OpenSsh);
  if (IsSkipped()) return;
  // kOtherHashed: the other key, its line's host name hashed (as HashKnownHosts writes it).
  enum TKnown { kNone, kOther, kOtherHashed };
  const struct {
    const char* Name;
    TKnown Known;
    TTrustDecision Decision;
    bool Asked;
    bool LoggedOn;
    bool AskedAgain;  // the next log-on asks again (trusted for that session only)
  } cases[] = {
      {"unknown, refused", kNone, tdRefuse, true, false, false},
      {"unknown, trusted once", kNone, tdTrustOnce, true, true, true},
      {"unknown, trusted always", kNone, tdTrustAlways, true, true, false},
      {"changed", kOther, tdTrustAlways, false, false, false},
      {"changed, remembered hashed", kOtherHashed, tdTrustAlways, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ::unlink(Server->KnownHostsFile().c_str());
    ::unlink((Server->KnownHostsFile() + ".old").c_str());
    const std::string file = Server->KnownHostsFile();
    if (c.Known != kNone) Server->TrustHostKey(true);
    if (c.Known == kOtherHashed) {
      ASSERT_EQ(std::system(("ssh-keygen -q -H -f '" + file + "' >/dev/null 2>&1").c_str()), 0);
      ASSERT_EQ(ReadFile(file).rfind("|1|", 0), 0u);
    }
    const std::string knownBefore = ReadFile(file);
    Questions.clear();
    Events.clear();
    EXPECT_EQ(LogOn("", "", c.Decision), c.LoggedOn) << testing::PrintToString(Events);
    ASSERT_EQ(Questions.size(), c.Asked ? 1u : 0u);
    if (c.Asked) {
      EXPECT_TRUE(Questions[0].HostKey);
      EXPECT_EQ(Questions[0].KeyType, "ssh-ed25519");
      EXPECT_EQ(Questions[0].Certificate.Fingerprint, Server->Fingerprint());
      EXPECT_EQ(Questions[0].Port, Server->Port());
    }
    if (!c.LoggedOn) {
      EXPECT_EQ(EventsStartingWith("log:Attempting to connect").size(), 1u) << "refusal is final";
      EXPECT_EQ(EventsStartingWith("log:SSH: the server accepts").size(), 0u) << "no log-on tried";
    }
    if (c.Known != kNone) {
      const auto errors = EventsStartingWith("error:");
      ASSERT_EQ(errors.size(), 1u) << testing::PrintToString(Events);
      EXPECT_NE(errors[0].find("It was ssh-ed25519 " + Server->Fingerprint(true) +
                               ", it is now ssh-ed25519 " + Server->Fingerprint() + "."),
                std::string::npos)
          << errors[0];
    }
    // Only "Always" adds to known_hosts, and nothing else touches it.
    EXPECT_EQ(ReadFile(file),
              c.Decision == tdTrustAlways && c.Asked ? Server->KnownHostsLine() : knownBefore);
    if (c.LoggedOn) {
      Questions.clear();
      EXPECT_EQ(LogOn("", "", tdRefuse), !c.AskedAgain);
      EXPECT_EQ(Questions.size(), c.AskedAgain ? 1u : 0u);
    }
  }
}

TEST_F(SftpTest, TransfersResumeTimesReplacementAndRemoteOperations) {
  Start(OpenSsh);
  if (IsSkipped()) return;
  Server->TrustHostKey();
  const std::string root = Server->Root();
  const std::string content = RandomBytes((1 << 20) + 123, 7);
  WriteFile(root + "f.bin", content);
  SetModified(root + "f.bin", kServerTime);
  WriteFile(root + "half.bin", content.substr(0, 400000));
  WriteFile(root + "old.bin", "the old file");
  WriteFile(Local + "half", content.substr(0, 300000));
  WriteFile(Local + "whole", content);
  SetModified(Local + "whole", kLocalTime);
  ASSERT_TRUE(LogOn());
  Ftp->ChangeFolder(root);
  Ftp->List();
  Ftp->Download("f.bin", Local + "f.bin", 1);
  Ftp->ResumeDownload("f.bin", Local + "half", 1, 300000);
  Ftp->ResumeUpload(Local + "whole", "half.bin", 1, 400000);
  Ftp->Upload(Local + "whole", "old.bin", 1);
  Finish(*Ftp);
  EXPECT_TRUE(EventsStartingWith("error:").empty()) << testing::PrintToString(Events);
  EXPECT_NE(Listing.find("size=400000;modify="), std::string::npos) << Listing;
  EXPECT_NE(Listing.find("; old.bin\r\n"), std::string::npos) << Listing;
  // Compared as booleans: a mismatch of a megabyte of random bytes prints nothing useful.
  EXPECT_TRUE(ReadFile(Local + "f.bin") == content);
  EXPECT_TRUE(ReadFile(Local + "half") == content);
  EXPECT_TRUE(ReadFile(root + "half.bin") == content);
  EXPECT_TRUE(ReadFile(root + "old.bin") == content);
  EXPECT_EQ(Done, (std::vector<int64_t>{kServerTime, kServerTime, -1, -1}));
  EXPECT_EQ(ModifiedAt(root + "half.bin"), kLocalTime);
  EXPECT_EQ(ModifiedAt(root + "old.bin"), kLocalTime);
  EXPECT_EQ(
      CountEvents("log:RENAME (posix) " + root + ".old.bin.pelmar-upload " + root + "old.bin"), 1);
  EXPECT_FALSE(Exists(root + ".old.bin.pelmar-upload"));

  // Remote operations, their effect seen on disk.
  ::mkdir((root + "gone").c_str(), 0755);
  ::chmod((root + "old.bin").c_str(), 0600);
  Ftp->MakeFolder("made");
  Ftp->RemoveFolder("gone");
  Ftp->Rename("f.bin", "renamed.bin");
  Ftp->DeleteFile("half.bin");
  Ftp->ChangeMode("old.bin", 4 | 8 | 32 | 256);  // the dialog's bits for 644
  Finish(*Ftp);
  EXPECT_TRUE(EventsStartingWith("error:").empty()) << testing::PrintToString(Events);
  EXPECT_TRUE(Exists(root + "made"));
  EXPECT_FALSE(Exists(root + "gone"));
  EXPECT_TRUE(Exists(root + "renamed.bin") && !Exists(root + "f.bin"));
  EXPECT_FALSE(Exists(root + "half.bin"));
  struct stat info {};
  ::stat((root + "old.bin").c_str(), &info);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  EXPECT_EQ(EventsStartingWith("folder:2:").size(), 1u) << "the folder made is reported";

  // A replacement that fails half way (here: aborted) leaves the old file as it was.
  WriteFile(Local + "huge", "");
  ASSERT_EQ(::truncate((Local + "huge").c_str(), int64_t{4} << 30), 0);
  Events.clear();
  Ftp->Upload(Local + "huge", "old.bin", 1);
  ASSERT_TRUE(WaitForEvent("progress:0:1:0"));
  EXPECT_TRUE(Exists(root + ".old.bin.pelmar-upload")) << "written beside the old file";
  Ftp->Abort();
  Finish(*Ftp);
  EXPECT_EQ(CountEvents("aborted"), 1);
  EXPECT_TRUE(ReadFile(root + "old.bin") == content);
  EXPECT_FALSE(Exists(root + ".old.bin.pelmar-upload"));
  // So does an aborted download, its outstanding reads' answers thrown away when they come.
  ASSERT_EQ(::truncate((root + "renamed.bin").c_str(), int64_t{4} << 30), 0);
  Events.clear();
  Ftp->Download("renamed.bin", Local + "huge down", 1);
  ASSERT_TRUE(WaitForEvent("progress:0:1:0"));
  Ftp->Abort();
  Finish(*Ftp);
  EXPECT_EQ(CountEvents("aborted"), 1);
  EXPECT_LT(SizeOf(Local + "huge down"), int64_t{4} << 30);
  // The connection goes on.
  Ftp->Download("old.bin", Local + "again", 1);
  Finish(*Ftp);
  EXPECT_TRUE(ReadFile(Local + "again") == content);
  // And it ends for good when disconnected: the socket is closed, not left to the process.
  ASSERT_EQ(OpenClientConnections(Server->Port()), 1);
  Ftp->Disconnect();
  ASSERT_TRUE(WaitForEvent("disconnected"));
  EXPECT_EQ(OpenClientConnections(Server->Port()), 0);
}

// pelmar-cli: an unknown host key without a terminal, --trust, one file (its time kept) and
// whole folders both ways (over the queue's connections), and --identity where no default key
// is. The transfers themselves are the engine scenario's.
TEST_F(SftpTest, PelmarCli) {
  Start(OpenSsh);
  if (IsSkipped()) return;
  const std::string root = Server->Root();
  const std::string url = Server->Url();
  const std::string fingerprint = Server->Fingerprint();
  WriteFile(root + "hello.txt", "hello\n");
  SetModified(root + "hello.txt", kServerTime);
  for (const std::string& folder :
       {root + "tree", root + "tree/sub", Local + "up", Local + "up/in"}) {
    ::mkdir(folder.c_str(), 0755);
  }
  WriteFile(root + "tree/sub/b.bin", "b");
  WriteFile(Local + "up/in/y.bin", "y");

  const TRun refused = Cli(1, "ls " + url);
  EXPECT_NE(refused.Err.find("ssh-ed25519 key fingerprint is " + fingerprint + "."),
            std::string::npos)
      << refused.Err;
  EXPECT_NE(refused.Err.find("--trust " + fingerprint + " accepts it"), std::string::npos);
  EXPECT_FALSE(Exists(Server->KnownHostsFile())) << "nothing stored";

  const std::string trust = "--trust " + fingerprint + " ";
  const TRun ls = Cli(0, trust + "ls " + url);
  EXPECT_NE(ls.Out.find(" 6 2020-01-15 "), std::string::npos) << ls.Out;
  EXPECT_NE(ls.Out.find(" hello.txt\n"), std::string::npos) << ls.Out;

  for (const std::string& args :
       {"get " + url + "hello.txt " + Local + "hello.txt",
        "-r get " + url + "tree " + Local + "got", "-r put " + Local + "up " + url}) {
    Cli(0, trust + args);
  }
  EXPECT_EQ(ReadFile(Local + "hello.txt"), "hello\n");
  EXPECT_EQ(ModifiedAt(Local + "hello.txt"), kServerTime);
  EXPECT_EQ(ReadFile(Local + "got/tree/sub/b.bin"), "b");
  EXPECT_EQ(ReadFile(root + "up/in/y.bin"), "y");

  // Without the default key, the one given with --identity logs on.
  Server->SetDefaultKey(false);
  const TRun identity = Cli(0, trust + "--identity " + Server->KeyFile() + " ls " + url);
  EXPECT_NE(identity.Out.find(" hello.txt\n"), std::string::npos) << identity.Out;
}

// Each broken download ends in one failure with a clear message, and leaves nothing that looks
// whole: an old file stays as it was, a new one stays short (for resume). Short reads are no
// failure at all.
TEST_F(SftpTest, MisbehavingServers) {
  constexpr int64_t kSize = 300000;
  const struct {
    const char* Switch;
    const char* Said;  // how an error or log line starts; nullptr: the download succeeds
  } cases[] = {
      {"--short-reads", nullptr},
      {"--stall-read", "error:10060:timed out after 1.5 s"},
      {"--drop-mid-file", "error:10054:the server closed the connection"},
      {"--handle-error", "log:550 OPEN /f.bin: Failure"},
      {"--lie-size",
       "error:20004:The download of /f.bin came to 300000 bytes instead of the 301000 bytes"},
  };
  const std::string content = RandomBytes(static_cast<size_t>(kSize), 5);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Switch);
    Start(Scripted, {c.Switch});
    if (IsSkipped()) return;
    Server->TrustHostKey();
    WriteFile(Server->Root() + "f.bin", content);
    SetModified(Server->Root() + "f.bin", kServerTime);
    WriteFile(Local + "old.bin", "the old file");
    EngineSettings().FTPTimeout = 1500;
    for (const std::string name : {"new.bin", "old.bin"}) {
      Events.clear();
      Done.clear();
      ASSERT_TRUE(LogOn(TRealSshServer::kPassword));
      Ftp->Download("f.bin", Local + name, 1);
      // The connection may be gone: no request can follow to mark the end.
      ASSERT_TRUE(RunUntil([&] {
        return CountEvents("error:0:Unable to complete transfer") ||
               (!Done.empty() && Done[0] >= 0);
      }));
      ASSERT_TRUE(WaitIdle(*Ftp));
      RunUntil([] { return true; });  // what the worker posted before it went idle
      if (!c.Said) {
        EXPECT_EQ(Done, std::vector<int64_t>{kServerTime});
        EXPECT_TRUE(ReadFile(Local + name) == content);
        EXPECT_TRUE(EventsStartingWith("error:").empty()) << testing::PrintToString(Events);
        continue;
      }
      EXPECT_LE(Done.size(), 1u);
      EXPECT_TRUE(Done.empty() || Done[0] == -2) << "not reported as complete";
      EXPECT_EQ(CountEvents("error:0:Unable to complete transfer"), 1);
      EXPECT_FALSE(EventsStartingWith(c.Said).empty()) << testing::PrintToString(Events);
      if (name == "old.bin") {
        EXPECT_EQ(ReadFile(Local + name), "the old file");
      } else {
        EXPECT_NE(ModifiedAt(Local + name), kServerTime);
        EXPECT_LT(SizeOf(Local + name), std::string(c.Switch) == "--lie-size" ? 301000 : kSize);
      }
    }
  }
}

// Names with "/" or ".." from a hostile server never reach the local disk; a name with a line
// break cannot be listed and is left out with a log line.
TEST_F(SftpTest, HostileNamesStayOffTheLocalDisk) {
  Start(Scripted, {"--hostile-names"});
  ::mkdir((Server->Root() + "trap").c_str(), 0755);
  WriteFile(Server->Root() + "trap/ok.bin", "fine");
  WriteFile(Server->Root() + "escape.txt", "outside");
  ::mkdir((Local + "a").c_str(), 0755);
  const TRun run = Cli(1, "-v --trust " + Server->Fingerprint() + " -r get " + Server->Url() +
                              "trap " + Local + "a/dl");
  EXPECT_EQ(Tree(Local + "a"),
            (std::map<std::string, std::string>{
                {"dl", "<dir>"}, {"dl/trap", "<dir>"}, {"dl/trap/ok.bin", "fine"}}));
  EXPECT_FALSE(Exists(Local + "escape.txt"));
  EXPECT_NE(run.Err.find("Refused the server's name trap/a/b: "), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("Refused the server's name trap/../escape.txt: "), std::string::npos);
  EXPECT_NE(run.Err.find("A name the listing cannot carry (a line break in it) is left out: line"),
            std::string::npos);
}

}  // namespace
}  // namespace pelmar::test
