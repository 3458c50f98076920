#pragma once
// A temporary data folder (PELMAR_HOME) per test, so tests never touch real settings.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "engine/EngineSettings.h"

namespace pelmar::test {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Home = ::testing::TempDir() + "pelmar-home-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
    ::mkdir(Home.c_str(), 0755);
    ::setenv("PELMAR_HOME", Home.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("PELMAR_HOME");
    [[maybe_unused]] int rc = std::system(("rm -rf '" + Home + "'").c_str());
    const TEngineSettings defaults;
    EngineSettings().FTPTimeout = defaults.FTPTimeout.load();
    EngineSettings().FTPRetries = defaults.FTPRetries.load();
    EngineSettings().FTPKeepAlive = defaults.FTPKeepAlive.load();
  }
  std::string Home;
};

}  // namespace pelmar::test
