// The engine against real FTP servers, in clear and over TLS (pyftpdlib and vsftpd, set to
// refuse anything in clear; vsftpd also insists that data connections resume the control
// connection's TLS session): listings, transfers compared byte for byte, resume, abort, and the
// certificate decisions. Log-on refusals and remote operations are the scripted server's.

#include <gtest/gtest.h>
#include <sys/stat.h>
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
  }
  // Logs on with `decision` as the answer to any certificate question.
  bool LogOn(TEncryption encryption = enPlain, TTrustDecision decision = tdRefuse) {
    Ftp = MakeComponent();
    Ftp->Host = "127.0.0.1";
    Ftp->Port = Server->Port();
    Ftp->User = Server->User();
    Ftp->Password = Server->Password();
    Ftp->Encryption = encryption;
    return ConnectAndWait(*Ftp, decision,
                          std::chrono::milliseconds(2 * TRealFtpServer::kSlowRefusalMs));
  }

  // One set per process: the process's TLS context reads the authority once.
  static inline TTlsCertificates Certificates;
  std::unique_ptr<TRealFtpServer> Server;
  std::unique_ptr<TFTPComponent> Ftp;
  std::string Local;  // beside the served folder, with a trailing "/"
};

// A server kind and the encryption of the connection.
class RealServerTransfers
    : public RealServer,
      public ::testing::WithParamInterface<std::tuple<TServerKind, TEncryption>> {};

// In either mode: a listing whose awkward names come back as they were made (a link as a link
// where the server says so), downloads and uploads of an empty file, a byte and megabytes,
// resumes both ways, all byte for byte; and an abort in the middle of a download, after which
// the connection still works.
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
  // Kind and size as the listing gives them ("d" a folder, "l" a link).
  std::map<std::string, std::string> awkward = {
      {"inner  blanks", "-3"}, {" leading blank", "-4"},    {"trailing blank ", "-5"},
      {"Jan report", "-6"},    {"Mar 15 10:30 copy", "-7"}, {"na\xC3\xAFve \xCE\xA9mega.txt", "-8"},
      {"sub folder", "d"},     {"huge", "-4294967296"}};
  for (const auto& [name, what] : awkward) {
    if (what.size() == 2) WriteFile(root + name, std::string(what[1] - '0', 'x'));
  }
  ::mkdir((root + "sub folder").c_str(), 0777);
  ASSERT_EQ(::symlink("Jan report", (root + "link").c_str()), 0);
  // pyftpdlib's MLSD follows links: the link is listed as the file it leads to.
  awkward[kind == TServerKind::Pyftpdlib ? "link" : "link -> Jan report"] =
      kind == TServerKind::Pyftpdlib ? "-6" : "l";
  for (const bool passive : {false, true}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    EngineSettings().PassiveMode = passive;
    const std::string mode = passive ? "p" : "a";  // the names of this round begin with it
    const std::pair<std::string, std::string> files[] = {
        {mode + "empty", ""}, {mode + "one", "1"}, {mode + "big", content}};
    for (const auto& [name, bytes] : files) {
      WriteFile(root + name, bytes);
      WriteFile(Local + "up" + name, bytes);
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
      Ftp->Upload(Local + "up" + name, "up" + name, 1);
    }
    Ftp->ResumeDownload(mode + "big", Local + mode + "half", 1, 300000);
    Ftp->ResumeUpload(Local + "up" + mode + "big", mode + "half", 1, 400000);
    Finish(*Ftp);
    EXPECT_TRUE(EventsStartingWith("error:").empty()) << testing::PrintToString(Events);
    std::map<std::string, std::string> seen;
    TListingHooks hooks;
    hooks.AddItem = [&](const TRemoteItem& item) {
      seen[item.Name] = (item.Attributes & iaLink)     ? "l"
                        : (item.Attributes & iaFolder) ? "d"
                                                       : "-" + std::to_string(item.Size);
    };
    hooks.Log = [&](const std::string& line) { ADD_FAILURE() << line << "\n" << Listing; };
    TListingPass().ListingReceived(Listing, Today(), hooks);
    for (const auto& [name, what] : awkward) EXPECT_EQ(seen[name], what) << "[" << name << "]";
    EXPECT_EQ(seen[mode + "big"], "-" + std::to_string(content.size()));
    // Compared as booleans: a mismatch of megabytes of random bytes prints nothing useful.
    for (const auto& [name, bytes] : files) {
      EXPECT_TRUE(ReadFile(Local + name) == bytes) << name;
      EXPECT_TRUE(ReadFile(root + "up" + name) == bytes) << name;
    }
    EXPECT_TRUE(ReadFile(Local + mode + "half") == content);
    EXPECT_TRUE(ReadFile(root + mode + "half") == content);

    Events.clear();
    Ftp->Download("huge", Local + "huge", 1);
    ASSERT_TRUE(WaitForEvent("progress:0:1:0"));
    Ftp->Abort();
    Finish(*Ftp);
    EXPECT_EQ(CountEvents("aborted"), 1);
    EXPECT_LT(SizeOf(Local + "huge"), int64_t{4} << 30);
    Ftp->Download("after", Local + mode + "after", 1);
    Finish(*Ftp);
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
  Finish(*Ftp);
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
