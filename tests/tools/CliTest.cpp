// pelmar-cli: its URL syntax, and the program itself against a real server.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "FtpUrl.h"
#include "support/Files.h"
#include "support/RealFtpServer.h"

namespace pelmar::test {
namespace {

TEST(FtpUrl, Parts) {
  const struct {
    const char* Text;
    const char* User;
    const char* Password;
    const char* Host;
    int Port;
    const char* Path;
  } cases[] = {
      {"ftp://example.com", "anonymous", "", "example.com", 21, ""},
      {"ftp://example.com/", "anonymous", "", "example.com", 21, ""},
      {"ftp://u:p@h:2121/pub/file.txt", "u", "p", "h", 2121, "pub/file.txt"},
      {"ftp://u@h/a%20b", "u", "", "h", 21, "a b"},
      {"ftp://u%40x:p%3Aq@h/", "u@x", "p:q", "h", 21, ""},
      {"ftp://u:p@ss@h/x", "u", "p@ss", "h", 21, "x"},
      {"ftp://h/%2Fetc/motd", "anonymous", "", "h", 21, "/etc/motd"},
  };
  for (const auto& c : cases) {
    std::string error;
    const auto url = ParseFtpUrl(c.Text, error);
    ASSERT_TRUE(url) << c.Text << ": " << error;
    EXPECT_EQ(url->User, c.User) << c.Text;
    EXPECT_EQ(url->Password, c.Password) << c.Text;
    EXPECT_EQ(url->Host, c.Host) << c.Text;
    EXPECT_EQ(url->Port, c.Port) << c.Text;
    EXPECT_EQ(url->Path, c.Path) << c.Text;
  }
}

TEST(FtpUrl, RefusedTexts) {
  for (const char* text : {"http://h/", "ftp://", "ftp:///x", "ftp://h:/", "ftp://h:99999/",
                           "ftp://h:2x/", "ftp://h/%zz", "h/x"}) {
    std::string error;
    EXPECT_FALSE(ParseFtpUrl(text, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

TRun RunCli(const std::string& arguments, const std::string& dir) {
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

TEST(PelmarCli, ListGetPutAndFailures) {
  TRealFtpServer server(TServerKind::Pyftpdlib);
  ASSERT_TRUE(server.Started()) << server.StartError();
  const std::string root = server.Root();
  const std::string local = root + "../";  // beside the served folder, not inside it
  const std::string url = "ftp://127.0.0.1:" + std::to_string(server.Port()) + "/";
  const std::string named = "ftp://" + std::string(TRealFtpServer::kUser) + ":" +
                            TRealFtpServer::kPassword +
                            "@127.0.0.1:" + std::to_string(server.Port()) + "/";
  std::ofstream(root + "hello.txt") << "hello\n";

  ::mkdir((root + "sub dir").c_str(), 0755);
  TRun ls = RunCli("ls " + url, local);
  EXPECT_EQ(ls.Status, 0) << ls.Err;
  // "-rw-r--r-- 6 2026-06-15 10:30 hello.txt"
  EXPECT_EQ(ls.Out.rfind("-rw-r--r-- 6 ", 0), 0u) << ls.Out;
  EXPECT_NE(ls.Out.find(" hello.txt\n"), std::string::npos) << ls.Out;
  EXPECT_NE(ls.Out.find("\ndrwxr-xr-x 0 "), std::string::npos) << ls.Out;
  EXPECT_NE(ls.Out.find(" sub dir\n"), std::string::npos) << ls.Out;
  TRun raw = RunCli("--raw ls " + url, local);
  EXPECT_EQ(raw.Status, 0) << raw.Err;
  EXPECT_NE(raw.Out.find(" hello.txt\r\n"), std::string::npos) << raw.Out;

  // Binary by default for names that are not in the ASCII extension list.
  std::ofstream(root + "hello.bin") << "hello\n";
  TRun get = RunCli("get " + named + "hello.bin " + local + "copy.bin", local);
  EXPECT_EQ(get.Status, 0) << get.Err;
  EXPECT_EQ(ReadFile(local + "copy.bin"), "hello\n");

  TRun put = RunCli("-v put " + local + "copy.bin " + url + "sent.bin", local);
  EXPECT_EQ(put.Status, 0) << put.Err;
  EXPECT_EQ(ReadFile(root + "sent.bin"), "hello\n");
  EXPECT_NE(put.Err.find("\nSTOR sent.bin\n"), std::string::npos) << "-v shows the dialogue";
  EXPECT_NE(put.Err.find("\nPASS xxxxx\n"), std::string::npos);

  TRun missing = RunCli("get " + url + "missing.txt " + local + "missing.txt", local);
  EXPECT_EQ(missing.Status, 1);
  EXPECT_EQ(missing.Err.rfind("pelmar-cli: Unable to complete transfer (550 ", 0), 0u)
      << missing.Err;
  EXPECT_EQ(std::count(missing.Err.begin(), missing.Err.end(), '\n'), 1);

  TRun badUrl = RunCli("ls http://x/", local);
  EXPECT_EQ(badUrl.Status, 2);

  // The program's preferences apply: ASCII for .txt by the extension list, binary otherwise,
  // or one mode for everything.
  WriteFile(local + "pelmar.ini", "[Connection]\nTransferMode=0\n[FileTypes]\nExt0=.txt\n");
  TRun autoMode = RunCli("-v get " + url + "hello.txt " + local + "a.txt", local);
  EXPECT_NE(autoMode.Err.find("\nTYPE A\n"), std::string::npos) << autoMode.Err;
  EXPECT_EQ(ReadFile(local + "a.txt"), "hello\n") << "text arrives with this system's line ends";
  WriteFile(local + "pelmar.ini", "[Connection]\nTransferMode=4\n");
  TRun localMode = RunCli("-v get " + url + "hello.txt " + local + "b.txt", local);
  EXPECT_NE(localMode.Err.find("\nTYPE L\n"), std::string::npos) << localMode.Err;
}

TEST(PelmarCli, WholeFoldersGoThroughTheQueue) {
  if (const std::string why = TRealFtpServer::CannotRun(TServerKind::Vsftpd); !why.empty()) {
    GTEST_SKIP() << why;
  }
  TRealFtpServer server(TServerKind::Vsftpd);
  ASSERT_TRUE(server.Started()) << server.StartError();
  const std::string root = server.Root();
  const std::string local = root + "../";
  const std::string url = "ftp://127.0.0.1:" + std::to_string(server.Port()) + "/";
  ::mkdir((root + "pub").c_str(), 0777);
  ::mkdir((root + "pub/docs").c_str(), 0777);
  ::mkdir((root + "pub/docs/sub").c_str(), 0777);
  WriteFile(root + "pub/docs/a.bin", std::string(5000, 'a'));
  WriteFile(root + "pub/docs/sub/b.bin", "b");
  WriteFile(root + "pub/docs/sub/empty.bin", "");

  TRun get = RunCli("-r get " + url + "pub/docs " + local + "got", local);
  EXPECT_EQ(get.Status, 2) << "the local folder must exist: " << get.Err;
  ::mkdir((local + "got").c_str(), 0755);
  get = RunCli("-r get " + url + "pub/docs " + local + "got", local);
  EXPECT_EQ(get.Status, 0) << get.Err;
  EXPECT_EQ(ReadFile(local + "got/docs/a.bin"), std::string(5000, 'a'));
  EXPECT_EQ(ReadFile(local + "got/docs/sub/b.bin"), "b");
  EXPECT_TRUE(Exists(local + "got/docs/sub/empty.bin"));

  // Existing files: skipped, or resumed from where they stop.
  WriteFile(local + "got/docs/a.bin", std::string(1000, 'a'));
  TRun skip = RunCli("-r --existing skip get " + url + "pub/docs " + local + "got", local);
  EXPECT_EQ(skip.Status, 0) << skip.Err;
  EXPECT_EQ(SizeOf(local + "got/docs/a.bin"), 1000);
  TRun resume = RunCli("-r --existing resume get " + url + "pub/docs " + local + "got", local);
  EXPECT_EQ(resume.Status, 0) << resume.Err;
  EXPECT_EQ(ReadFile(local + "got/docs/a.bin"), std::string(5000, 'a'));

  ::mkdir((root + "up").c_str(), 0777);
  TRun put = RunCli("-r put " + local + "got/docs " + url + "up/", local);
  EXPECT_EQ(put.Status, 0) << put.Err;
  EXPECT_EQ(ReadFile(root + "up/docs/sub/b.bin"), "b");
  EXPECT_EQ(ReadFile(root + "up/docs/a.bin"), std::string(5000, 'a'));

  TRun missing = RunCli("-r get " + url + "no/such " + local + "got", local);
  EXPECT_EQ(missing.Status, 1) << missing.Err;
}

}  // namespace
}  // namespace pelmar::test
