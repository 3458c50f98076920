#pragma once
// Running pelmar-cli from the tests: with a home folder of its own, its output and exit status.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "support/Files.h"

namespace pelmar::test {

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// Runs pelmar-cli with `arguments` (in shell syntax) and `home` as its home folder (HOME and
// PELMAR_HOME: ~/.netrc and the preferences), and expects the exit status `status`.
inline TRun RunCli(int status, const std::string& arguments, const std::string& home) {
  const std::string errFile = home + "stderr.txt";
  const std::string command = "HOME='" + home + "' PELMAR_HOME='" + home + "' " PELMAR_CLI " " +
                              arguments + " 2>" + errFile;
  TRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
    run.Out.append(buffer.data(), n);
  }
  const int exit = ::pclose(pipe);
  run.Status = WIFEXITED(exit) ? WEXITSTATUS(exit) : -1;
  run.Err = ReadFile(errFile);
  EXPECT_EQ(run.Status, status) << arguments << "\n" << run.Err;
  return run;
}

}  // namespace pelmar::test
