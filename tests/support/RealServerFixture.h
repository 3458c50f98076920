#pragma once
// Engine tests against a real FTP server of the parameter's kind, with a local folder beside
// the served one. vsftpd is skipped only when not running as root.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "support/EngineFixture.h"
#include "support/RealFtpServer.h"

namespace pelmar::test {

class RealServerFixture : public EngineTest, public ::testing::WithParamInterface<TServerKind> {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    if (const std::string why = TRealFtpServer::CannotRun(GetParam()); !why.empty()) {
      GTEST_SKIP() << why;
    }
    Server = std::make_unique<TRealFtpServer>(GetParam());
    ASSERT_TRUE(Server->Started()) << Server->StartError();
    Local = Server->Root() + "../local/";
    ::mkdir(Local.c_str(), 0755);
  }
  void TearDown() override {
    EngineTest::TearDown();
    Server.reset();
  }

  std::unique_ptr<TRealFtpServer> Server;
  std::string Local;  // with a trailing "/"
};

}  // namespace pelmar::test
