// FTP over TLS against pyftpdlib and vsftpd, both set to refuse anything in clear (vsftpd also
// insists that data connections resume the control connection's TLS session): transfers in
// every mode, and the certificate decisions.

#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <tuple>

#include "engine/CertificateTrust.h"
#include "engine/EngineSettings.h"
#include "support/EngineFixture.h"
#include "support/Files.h"
#include "support/RealFtpServer.h"

namespace pelmar::test {
namespace {

class TlsFixture : public EngineTest {
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
  void StartServer(TServerKind kind, const std::string& certificate, bool implicit) {
    if (const std::string why = TRealFtpServer::CannotRun(kind); !why.empty()) {
      GTEST_SKIP() << why;
    }
    Server = std::make_unique<TRealFtpServer>(
        kind,
        TServerOptions{.Certificate = Certificates.File(certificate), .ImplicitTls = implicit});
    ASSERT_TRUE(Server->Started()) << Server->StartError();
    Local = Server->Root() + "../local/";
    std::filesystem::create_directory(Local);
  }
  // Logs on with `decision` as the answer to any certificate question.
  bool LogOn(TEncryption encryption, TTrustDecision decision = tdRefuse) {
    Ftp = MakeComponent();
    Ftp->Host = "127.0.0.1";
    Ftp->Port = Server->Port();
    Ftp->User = Server->User();
    Ftp->Password = Server->Password();
    Ftp->Encryption = encryption;
    Ftp->OnCertificate = [this, decision](TFTPComponent&, const TCertificateEventData& question,
                                          TCertificateAnswer answer) {
      Questions.push_back(question);
      answer(decision);
    };
    const int before = CountEvents("loggedin") + CountEvents("connectfailed");
    Ftp->Connect();
    EXPECT_TRUE(
        RunUntil([&] { return CountEvents("loggedin") + CountEvents("connectfailed") > before; }));
    return Ftp->LoggedIn == 1;
  }
  void Finish() {
    const size_t before = EventsStartingWith("folder:0:").size();
    Ftp->GetFolder();
    ASSERT_TRUE(RunUntil([&] { return EventsStartingWith("folder:0:").size() > before; }));
  }

  // One set per process: the process's TLS context reads the authority once.
  static inline TTlsCertificates Certificates;
  std::unique_ptr<TRealFtpServer> Server;
  std::unique_ptr<TFTPComponent> Ftp;
  std::vector<TCertificateEventData> Questions;
  std::string Local;
};

// Server kind, implicit TLS, passive mode.
class TlsTransferTest : public TlsFixture,
                        public ::testing::WithParamInterface<std::tuple<TServerKind, bool, bool>> {
};

TEST_P(TlsTransferTest, ListsTransfersAndResumesBothWaysEncrypted) {
  const auto [kind, implicit, passive] = GetParam();
  StartServer(kind, "good", implicit);
  if (IsSkipped()) return;
  EngineSettings().PassiveMode = passive;
  const std::string content = RandomBytes(3 << 20, 5);
  WriteFile(Server->Root() + "f.bin", content);
  WriteFile(Server->Root() + "uphalf", content.substr(0, 400000));
  Server->HandOver(Server->Root() + "uphalf");
  WriteFile(Local + "half", content.substr(0, 300000));
  WriteFile(Local + "whole", content);
  ASSERT_TRUE(LogOn(implicit ? enImplicitTls : enExplicitTls)) << testing::PrintToString(Events);
  EXPECT_TRUE(Questions.empty()) << "a certificate the system trusts is not asked about";
  EXPECT_EQ(EventsStartingWith("log:TLS connection established: TLSv1.").size(), 1u);
  EXPECT_EQ(CountEvents("log:PROT P"), 1);
  EXPECT_EQ(CountEvents("log:AUTH TLS"), implicit ? 0 : 1);
  Ftp->List();
  Ftp->Download("f.bin", Local + "f.bin", 1);
  Ftp->ResumeDownload("f.bin", Local + "half", 1, 300000);
  Ftp->Upload(Local + "whole", "up.bin", 1);
  Ftp->ResumeUpload(Local + "whole", "uphalf", 1, 400000);
  Finish();
  EXPECT_TRUE(EventsStartingWith("error:").empty()) << testing::PrintToString(Events);
  EXPECT_NE(Listing.find("f.bin"), std::string::npos);
  EXPECT_TRUE(ReadFile(Local + "f.bin") == content);
  EXPECT_TRUE(ReadFile(Local + "half") == content);
  EXPECT_TRUE(ReadFile(Server->Root() + "up.bin") == content);
  EXPECT_TRUE(ReadFile(Server->Root() + "uphalf") == content);
}

INSTANTIATE_TEST_SUITE_P(Servers, TlsTransferTest,
                         ::testing::Combine(::testing::Values(TServerKind::Pyftpdlib,
                                                              TServerKind::Vsftpd),
                                            ::testing::Bool(), ::testing::Bool()));

class TlsTrustTest : public TlsFixture {};

TEST_F(TlsTrustTest, ADataConnectionWithoutTlsFailsTheTransferAndKeepsTheOldFile) {
  Server = std::make_unique<TRealFtpServer>(
      TServerKind::Pyftpdlib,
      TServerOptions{.Certificate = Certificates.File("good"), .PlainData = true});
  ASSERT_TRUE(Server->Started()) << Server->StartError();
  Local = Server->Root() + "../local/";
  std::filesystem::create_directory(Local);
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

TEST_F(TlsTrustTest, AbortInTheMiddleOfAnEncryptedDownloadKeepsTheConnection) {
  StartServer(TServerKind::Vsftpd, "good", false);
  if (IsSkipped()) return;
  // A large sparse file: the transfer cannot finish before the abort is seen.
  const std::string big = Server->Root() + "huge";
  WriteFile(big, "");
  ASSERT_EQ(::truncate(big.c_str(), int64_t{4} << 30), 0);
  WriteFile(Server->Root() + "after", "ok");
  ASSERT_TRUE(LogOn(enExplicitTls));
  Ftp->Download("huge", Local + "huge", 1);
  ASSERT_TRUE(WaitForEvent("progress:0:1:0"));
  Ftp->Abort();
  Finish();
  EXPECT_EQ(CountEvents("aborted"), 1);
  Ftp->Download("after", Local + "after", 1);
  Finish();
  EXPECT_EQ(ReadFile(Local + "after"), "ok") << testing::PrintToString(Events);
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
    StartServer(TServerKind::Pyftpdlib, c.Certificate, false);
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

}  // namespace
}  // namespace pelmar::test
