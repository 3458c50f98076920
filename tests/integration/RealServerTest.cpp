// The engine against real FTP servers, in clear and over TLS (pyftpdlib and vsftpd, set to
// refuse anything in clear; vsftpd also insists that data connections resume the control
// connection's TLS session): log-on, listings, transfers compared byte for byte, resume, abort,
// remote operations with their effect checked on disk, and the certificate decisions.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <tuple>

#include "engine/CertificateTrust.h"
#include "engine/EngineSettings.h"
#include "listing/ListingPass.h"
#include "support/EngineFixture.h"
#include "support/Files.h"
#include "support/RealFtpServer.h"

namespace pelmar::test {
namespace {

class RealServer : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    CertificateTrust().Reset();
    ASSERT_TRUE(Certificates.Made());
  }
  void TearDown() override {
    Ftp.reset();
    EngineTest::TearDown();
    Server.reset();
    CertificateTrust().Reset();
  }
  // Starts a server of `kind`, skipping the test where it cannot run here.
  void Serve(TServerKind kind, const TServerOptions& options = {}) {
    if (const std::string why = TRealFtpServer::CannotRun(kind); !why.empty()) {
      GTEST_SKIP() << why;
    }
    Server = std::make_unique<TRealFtpServer>(kind, options);
    ASSERT_TRUE(Server->Started()) << Server->StartError();
    Local = Server->Root() + "../local/";
    std::filesystem::create_directory(Local);
    User = Server->User();
    Password = Server->Password();
  }
  // Logs on as User with `decision` as the answer to any certificate question.
  bool LogOn(TEncryption encryption = enPlain, TTrustDecision decision = tdRefuse) {
    Ftp = MakeComponent();
    Ftp->Host = "127.0.0.1";
    Ftp->Port = Server->Port();
    Ftp->User = User;
    Ftp->Password = Password;
    Ftp->Encryption = encryption;
    Ftp->OnCertificate = [this, decision](TFTPComponent&, const TCertificateEventData& question,
                                          TCertificateAnswer answer) {
      Questions.push_back(question);
      answer(decision);
    };
    const int before = CountEvents("loggedin") + CountEvents("connectfailed");
    Ftp->Connect();
    EXPECT_TRUE(
        RunUntil([&] { return CountEvents("loggedin") + CountEvents("connectfailed") > before; },
                 std::chrono::milliseconds(2 * TRealFtpServer::kSlowRefusalMs)));
    return Ftp->LoggedIn == 1;
  }
  // Waits until everything posted so far is done (a PWD behind it has answered).
  void Finish() {
    const size_t before = EventsStartingWith("folder:0:").size();
    Ftp->GetFolder();
    ASSERT_TRUE(RunUntil([&] { return EventsStartingWith("folder:0:").size() > before; }));
  }
  std::vector<std::string> Errors() const { return EventsStartingWith("error:"); }

  // One set per process: the process's TLS context reads the authority once.
  static inline TTlsCertificates Certificates;
  std::unique_ptr<TRealFtpServer> Server;
  std::unique_ptr<TFTPComponent> Ftp;
  std::vector<TCertificateEventData> Questions;
  std::string Local;  // beside the served folder, with a trailing "/"
  std::string User;
  std::string Password;
};

class RealServerTest : public RealServer, public ::testing::WithParamInterface<TServerKind> {
 protected:
  void SetUp() override {
    RealServer::SetUp();
    Serve(GetParam());
  }
};

TEST_P(RealServerTest, LogOnRefusedAndAccepted) {
  EngineSettings().FTPRetries = 1;
  EngineSettings().FTPTimeout = TRealFtpServer::kSlowRefusalMs;
  const bool named = Server->HasNamedAccount();
  User = named ? TRealFtpServer::kUser : "nobody";
  Password = "wrong password";
  EXPECT_FALSE(LogOn());
  EXPECT_EQ(CountEvents("log:Failed to Log in to Host"), 1) << testing::PrintToString(Events);
  if (named) {
    Password = TRealFtpServer::kPassword;
    EXPECT_TRUE(LogOn());
  }
  User = Server->User();
  Password = Server->Password();
  EXPECT_TRUE(LogOn());
}

TEST_P(RealServerTest, RemoteOperationsChangeTheDisk) {
  const std::string root = Server->Root();
  WriteFile(root + "doomed", "x");
  WriteFile(root + "old name", "y");
  WriteFile(root + "mode", "z");
  ::chmod((root + "mode").c_str(), 0600);
  Server->HandOver(root + "mode");
  ::mkdir((root + "gone").c_str(), 0777);
  ASSERT_TRUE(LogOn());
  Ftp->MakeFolder("made");
  Ftp->RemoveFolder("gone");
  Ftp->DeleteFile("doomed");
  Ftp->Rename("old name", "new name");
  Ftp->ChangeMode("mode", 4 | 8 | 32 | 256);
  Finish();
  EXPECT_TRUE(Exists(root + "made"));
  EXPECT_FALSE(Exists(root + "gone"));
  EXPECT_FALSE(Exists(root + "doomed"));
  EXPECT_FALSE(Exists(root + "old name"));
  EXPECT_EQ(ReadFile(root + "new name"), "y");
  EXPECT_EQ(EventsStartingWith("folder:2:").size(), 1u) << "MKD's 257 names the new folder";
  struct stat info {};
  ::stat((root + "mode").c_str(), &info);
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

// A server kind and the encryption of the connection.
class RealServerTransfers
    : public RealServer,
      public ::testing::WithParamInterface<std::tuple<TServerKind, TEncryption>> {};

// In either mode: a listing, downloads (also over a longer file) and uploads of an empty file,
// a byte and megabytes, resumes both ways, all byte for byte; and an abort in the middle of a
// download, after which the connection still works.
TEST_P(RealServerTransfers, ListTransferResumeAndAbortInEitherMode) {
  const auto [kind, encryption] = GetParam();
  Serve(kind, {.Certificate = encryption == enPlain ? "" : Certificates.File("good"),
               .ImplicitTls = encryption == enImplicitTls});
  if (IsSkipped() || HasFatalFailure()) return;
  const std::string root = Server->Root();
  const std::string content = RandomBytes(3 << 20, 5);
  // A large sparse file: its transfer cannot finish before the abort is seen.
  WriteFile(root + "huge", "");
  ASSERT_EQ(::truncate((root + "huge").c_str(), int64_t{4} << 30), 0);
  WriteFile(root + "after", "ok");
  for (const bool passive : {false, true}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    EngineSettings().PassiveMode = passive;
    const std::string mode = passive ? "p" : "a";  // the names of this round begin with it
    const std::pair<std::string, std::string> files[] = {
        {mode + "empty", ""}, {mode + "one", "1"}, {mode + "big", content}};
    for (const auto& [name, bytes] : files) {
      WriteFile(root + name, bytes);
      WriteFile(Local + "up" + name, bytes);
      WriteFile(Local + "over" + name, std::string(bytes.size() + 1000, 'o'));
    }
    WriteFile(root + mode + "half", content.substr(0, 400000));
    Server->HandOver(root + mode + "half");
    WriteFile(Local + mode + "half", content.substr(0, 300000));
    Events.clear();
    ASSERT_TRUE(LogOn(encryption)) << testing::PrintToString(Events);
    EXPECT_TRUE(Questions.empty()) << "a certificate the system trusts is not asked about";
    if (encryption != enPlain) {
      EXPECT_EQ(EventsStartingWith("log:TLS connection established: TLSv1.").size(), 1u);
      EXPECT_EQ(CountEvents("log:PROT P"), 1);
      EXPECT_EQ(CountEvents("log:AUTH TLS"), encryption == enExplicitTls ? 1 : 0);
    }
    ASSERT_EQ(Ftp->ServerCanResume(), 1);
    Ftp->List();
    for (const auto& [name, bytes] : files) {
      Ftp->Download(name, Local + name, 1);
      Ftp->Download(name, Local + "over" + name, 1);
      Ftp->Upload(Local + "up" + name, "up" + name, 1);
    }
    Ftp->ResumeDownload(mode + "big", Local + mode + "half", 1, 300000);
    Ftp->ResumeUpload(Local + "up" + mode + "big", mode + "half", 1, 400000);
    Finish();
    EXPECT_TRUE(Errors().empty()) << testing::PrintToString(Errors());
    EXPECT_NE(Listing.find(mode + "big"), std::string::npos);
    // Compared as booleans: a mismatch of megabytes of random bytes prints nothing useful.
    for (const auto& [name, bytes] : files) {
      EXPECT_TRUE(ReadFile(Local + name) == bytes) << name;
      EXPECT_TRUE(ReadFile(Local + "over" + name) == bytes) << name;
      EXPECT_TRUE(ReadFile(root + "up" + name) == bytes) << name;
    }
    EXPECT_TRUE(ReadFile(Local + mode + "half") == content);
    EXPECT_TRUE(ReadFile(root + mode + "half") == content);
    EXPECT_EQ(EventsStartingWith("log:PORT ").empty() && EventsStartingWith("log:EPRT ").empty(),
              passive)
        << "only active mode announces a port of ours";

    Events.clear();
    Ftp->Download("huge", Local + "huge", 1);
    ASSERT_TRUE(WaitForEvent("progress:0:1:0"));
    Ftp->Abort();
    Finish();
    EXPECT_EQ(CountEvents("aborted"), 1);
    EXPECT_LT(SizeOf(Local + "huge"), int64_t{4} << 30);
    Ftp->Download("after", Local + mode + "after", 1);
    Finish();
    EXPECT_EQ(ReadFile(Local + mode + "after"), "ok") << testing::PrintToString(Events);
  }
}

class TlsTrustTest : public RealServer {};

TEST_F(TlsTrustTest, ADataConnectionWithoutTlsFailsTheTransferAndKeepsTheOldFile) {
  Serve(TServerKind::Pyftpdlib, {.Certificate = Certificates.File("good"), .PlainData = true});
  WriteFile(Server->Root() + "f.bin", RandomBytes(200000, 3));
  WriteFile(Local + "f.bin", "the old file");
  EngineSettings().FTPTimeout = 2000;
  ASSERT_TRUE(LogOn(enExplicitTls));
  Ftp->Download("f.bin", Local + "f.bin", 1);
  Finish();
  EXPECT_FALSE(EventsStartingWith("error:0:TLS handshake failed").empty())
      << testing::PrintToString(Events);
  EXPECT_EQ(CountEvents("error:0:Unable to complete transfer"), 1);
  EXPECT_EQ(ReadFile(Local + "f.bin"), "the old file");
}

TEST_F(TlsTrustTest, CertificateDecisions) {
  const struct {
    const char* Name;
    const char* Certificate;
    const char* TrustedBefore;  // a certificate whose fingerprint the store holds, or ""
    TTrustDecision Decision;
    bool LoggedOn;
    const char* Problem;  // the question's reason; nullptr when no question is expected
    bool Changed;
    bool Stored;  // the trust file names the certificate afterwards
  } cases[] = {
      {"expired, refused", "expired", "", tdRefuse, false, "certificate has expired", false, false},
      {"another host's name, refused", "wrongname", "", tdRefuse, false, "IP address mismatch",
       false, false},
      {"self-signed, trusted once", "selfsigned", "", tdTrustOnce, true, "self-signed certificate",
       false, false},
      {"self-signed, trusted always", "selfsigned", "", tdTrustAlways, true,
       "self-signed certificate", false, true},
      {"trusted always before: no question", "selfsigned", "selfsigned", tdRefuse, true, nullptr,
       false, true},
      {"another certificate than the trusted one", "expired", "selfsigned", tdRefuse, false,
       "certificate has expired", true, true},
  };
  const std::string trustFile = testing::TempDir() + "pelmar-trust.txt";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Serve(TServerKind::Pyftpdlib, {.Certificate = Certificates.File(c.Certificate)});
    std::filesystem::remove(trustFile);
    if (*c.TrustedBefore) {
      WriteFile(trustFile, "127.0.0.1 " + std::to_string(Server->Port()) + " " +
                               Certificates.Fingerprint(c.TrustedBefore) + "\n");
    }
    CertificateTrust().Reset();
    CertificateTrust().Load(trustFile);
    Questions.clear();
    Events.clear();
    EngineSettings().FTPRetries = 3;
    EXPECT_EQ(LogOn(enExplicitTls, c.Decision), c.LoggedOn);
    ASSERT_EQ(Questions.size(), c.Problem ? 1u : 0u);
    if (c.Problem) {
      EXPECT_EQ(Questions[0].Certificate.Problem, c.Problem);
      EXPECT_EQ(Questions[0].Changed, c.Changed);
      EXPECT_EQ(Questions[0].Certificate.Fingerprint, Certificates.Fingerprint(c.Certificate));
    }
    if (!c.LoggedOn) {
      EXPECT_TRUE(EventsStartingWith("log:USER").empty()) << "nothing sent after a refusal";
      EXPECT_EQ(EventsStartingWith("log:Attempting").size(), 1u) << "a refusal is final";
    }
    const bool stored =
        ReadFile(trustFile).find(Certificates.Fingerprint(c.Certificate)) != std::string::npos;
    EXPECT_EQ(stored, c.Stored && c.LoggedOn);
    if (c.LoggedOn) {
      // The queue's next connection to the same server is not asked again.
      Questions.clear();
      EXPECT_TRUE(LogOn(enExplicitTls, tdRefuse));
      EXPECT_TRUE(Questions.empty());
    }
    Ftp.reset();
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServerTest, ::testing::ValuesIn(AllServerKinds()),
                         [](const auto& param) { return ServerName(param.param); });

std::string CaseName(const ::testing::TestParamInfo<std::tuple<TServerKind, TEncryption>>& info) {
  const TEncryption encryption = std::get<1>(info.param);
  return ServerName(std::get<0>(info.param)) + (encryption == enPlain         ? ""
                                                : encryption == enImplicitTls ? "ImplicitTls"
                                                                              : "Tls");
}

// Every server in clear; the two that are set up for it over TLS, explicit and implicit.
INSTANTIATE_TEST_SUITE_P(Servers, RealServerTransfers,
                         ::testing::Values(std::tuple(TServerKind::Pyftpdlib, enPlain),
                                           std::tuple(TServerKind::Vsftpd, enPlain),
                                           std::tuple(TServerKind::Proftpd, enPlain),
                                           std::tuple(TServerKind::PureFtpd, enPlain),
                                           std::tuple(TServerKind::Pyftpdlib, enExplicitTls),
                                           std::tuple(TServerKind::Pyftpdlib, enImplicitTls),
                                           std::tuple(TServerKind::Vsftpd, enExplicitTls),
                                           std::tuple(TServerKind::Vsftpd, enImplicitTls)),
                         CaseName);

}  // namespace
}  // namespace pelmar::test
