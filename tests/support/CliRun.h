#pragma once
// Runs pelmar-cli (PELMAR_CLI, defined by the test program's build) with its settings in a
// folder of the test's, and gives its exit status, stdout and stderr.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace pelmar::test {

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// `arguments` go to a shell as they are (redirections such as "</dev/null" included).
inline TRun RunCli(const std::string& arguments, const std::string& dir) {
  const std::string errFile = dir + "stderr.txt";
  const std::string command =
      "PELMAR_HOME='" + dir + "' " PELMAR_CLI " " + arguments + " 2>" + errFile;
  TRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    run.Out.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(errFile);
  std::stringstream text;
  text << err.rdbuf();
  run.Err = text.str();
  return run;
}

}  // namespace pelmar::test
