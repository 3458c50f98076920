#pragma once
// Running pelmar-cli (PELMAR_CLI, defined by the test program's build) from the tests: with its
// settings in a folder of the test's, giving its exit status, stdout and stderr.

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

// Runs pelmar-cli with `arguments` (in shell syntax, redirections such as "</dev/null"
// included) and its preferences in `dir`, expecting the exit status `status`. `dir` is HOME too
// (~/.netrc, ~/.ssh) unless `setHome` is false: then the HOME the test set stays (an SSH server
// fixture's).
inline TRun RunCli(int status, const std::string& arguments, const std::string& dir,
                   bool setHome = true) {
  const std::string errFile = dir + "stderr.txt";
  const std::string command = (setHome ? "HOME='" + dir + "' " : "") + "PELMAR_HOME='" + dir +
                              "' " PELMAR_CLI " " + arguments + " 2>" + errFile;
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
