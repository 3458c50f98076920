// pelmar-cli: its URL syntax, and the program itself against a real server.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <ctime>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <utility>
#include <vector>

#include "FtpUrl.h"
#include "TerminalText.h"
#include "support/Files.h"
#include "support/RealFtpServer.h"
#include "support/ScriptedFtpServer.h"
#include "text/TextUtils.h"

namespace pelmar::test {
namespace {

namespace fs = std::filesystem;

TEST(FtpUrl, Parts) {
  const struct {
    const char* Text;
    const char* User;
    const char* Password;
    const char* Host;
    int Port;
    const char* Path;
    TEncryption Encryption = enPlain;
  } cases[] = {
      {"ftp://example.com", "anonymous", "", "example.com", 21, ""},
      {"ftpes://h/x", "anonymous", "", "h", 21, "x", enExplicitTls},
      {"ftps://h/x", "anonymous", "", "h", 990, "x", enImplicitTls},
      {"ftps://h:2990/", "anonymous", "", "h", 2990, "", enImplicitTls},
      {"ftp://example.com/", "anonymous", "", "example.com", 21, ""},
      {"ftp://u:p@h:2121/pub/file.txt", "u", "p", "h", 2121, "pub/file.txt"},
      {"ftp://u:p@[::1]:2121/pub/file.txt", "u", "p", "::1", 2121, "pub/file.txt"},
      {"ftp://[2001:db8::7]/", "anonymous", "", "2001:db8::7", 21, ""},
      {"ftp://u@h/a%20b", "u", "", "h", 21, "a b"},
      {"ftp://u%40x:p%3Aq@h/", "u@x", "p:q", "h", 21, ""},
      {"ftp://u:p@ss@h/x", "u", "p@ss", "h", 21, "x"},
      {"ftp://h/%2Fetc/motd", "anonymous", "", "h", 21, "/etc/motd"},
      {"ftp://h//etc/", "anonymous", "", "h", 21, "/etc/"},
      {"ftp://h/dir%20with%20space/", "anonymous", "", "h", 21, "dir with space/"},
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
    EXPECT_EQ(url->Encryption, c.Encryption) << c.Text;
    // The desktop program reads the address alike: the same user, the same folder.
    const TSplitUrl parts = SplitUrl(c.Text, "");
    EXPECT_EQ(parts.ServerFolder + parts.FileName, c.Path) << c.Text;
    EXPECT_EQ(parts.Password, c.Password) << c.Text;
  }
}

// Control characters (C0, DEL, C1) and bytes that are not UTF-8 are shown as escapes; other
// text, UTF-8 included, is left alone.
TEST(TerminalText, ControlCharactersBecomeVisible) {
  const struct {
    std::string In;
    std::string Out;
  } cases[] = {
      {"plain name.txt", "plain name.txt"},
      {"caf\xc3\xa9 \xe6\x97\xa5", "caf\xc3\xa9 \xe6\x97\xa5"},
      {"\x1b]0;title\x07", "\\x1b]0;title\\x07"},
      {"tab\there\x7f", "tab\\x09here\\x7f"},
      {"csi\xc2\x9b"
       "2J",
       "csi\\xc2\\x9b2J"},
      {"lone\x9b", "lone\\x9b"},
      {"overlong\xc0\xaf", "overlong\\xc0\\xaf"},
      {"cut\xe6\x97", "cut\\xe6\\x97"},
  };
  for (const auto& c : cases) EXPECT_EQ(TerminalText(c.In), c.Out) << c.In;
}

TEST(FtpUrl, RefusedTexts) {
  for (const char* text :
       {"http://h/", "sftp://h/", "ftp://", "ftp:///x", "ftp://h:/", "ftp://h:99999/",
        "ftp://h:2x/", "ftp://h/%zz", "h/x", "ftp://[::1/", "ftp://[::1]x/"}) {
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

std::time_t ModifiedAt(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mtime : 0;
}

// pelmar-cli against each real server, with a local folder beside the served one.
class PelmarCli : public ::testing::TestWithParam<TServerKind> {
 protected:
  void SetUp() override {
    if (const std::string why = TRealFtpServer::CannotRun(GetParam()); !why.empty()) {
      GTEST_SKIP() << why;
    }
    Server = std::make_unique<TRealFtpServer>(GetParam());
    ASSERT_TRUE(Server->Started()) << Server->StartError();
    Root = Server->Root();
    Local = Root + "../";
    Url = Server->Url();
  }
  TRun Cli(const std::string& arguments) const { return RunCli(arguments, Local); }
  void MakeFolders(const std::vector<std::string>& paths) const {
    for (const auto& path : paths) ::mkdir(path.c_str(), 0777);
  }

  std::unique_ptr<TRealFtpServer> Server;
  std::string Root;   // served
  std::string Local;  // beside it, not inside
  std::string Url;
};

TEST_P(PelmarCli, ListGetPutAndFailures) {
  std::ofstream(Root + "hello.txt") << "hello\n";
  MakeFolders({Root + "sub dir"});
  TRun ls = Cli("ls " + Url);
  EXPECT_EQ(ls.Status, 0) << ls.Err;
  // "-rw-r--r-- 6 2026-06-15 10:30 hello.txt", in the server's order
  EXPECT_NE(("\n" + ls.Out).find("\n-rw-"), std::string::npos) << ls.Out;
  EXPECT_NE(ls.Out.find(" 6 "), std::string::npos) << ls.Out;
  EXPECT_NE(ls.Out.find(" hello.txt\n"), std::string::npos) << ls.Out;
  EXPECT_NE(("\n" + ls.Out).find("\ndrwx"), std::string::npos) << ls.Out;
  EXPECT_NE(ls.Out.find(" sub dir\n"), std::string::npos) << ls.Out;
  TRun raw = Cli("--raw ls " + Url);
  EXPECT_EQ(raw.Status, 0) << raw.Err;
  EXPECT_NE(raw.Out.find(" hello.txt\r\n"), std::string::npos) << raw.Out;

  // Binary for names that are not in the ASCII extension list; a Word document among them.
  std::ofstream(Root + "hello.bin") << "hello\n";
  const std::string document = RandomBytes(200000, 6);
  WriteFile(Root + "report.doc", document);
  // A download keeps the server's time to the second (MDTM), unless told not to.
  const timeval listed[2] = {{1579089601, 0}, {1579089601, 0}};  // 2020-01-15 12:00:01 UTC
  ::utimes((Root + "hello.bin").c_str(), listed);
  TRun get = Cli("get " + Url + "hello.bin " + Local + "copy.bin");
  EXPECT_EQ(get.Status, 0) << get.Err;
  EXPECT_EQ(ReadFile(Local + "copy.bin"), "hello\n");
  EXPECT_EQ(ModifiedAt(Local + "copy.bin"), 1579089601);
  TRun doc = Cli("--no-times get " + Url + "report.doc " + Local + "report.doc");
  EXPECT_EQ(doc.Status, 0) << doc.Err;
  EXPECT_EQ(ReadFile(Local + "report.doc"), document) << "a .doc is not text";
  EXPECT_GT(ModifiedAt(Local + "report.doc"), 1579089601) << "--no-times";

  TRun put = Cli("-v put " + Local + "copy.bin " + Url + "sent.bin");
  EXPECT_EQ(put.Status, 0) << put.Err;
  EXPECT_EQ(ReadFile(Root + "sent.bin"), "hello\n");
  EXPECT_NE(put.Err.find("\nSTOR sent.bin\n"), std::string::npos) << "-v shows the dialogue";
  // Where FEAT offers MFMT (all but vsftpd), the server's copy takes the local file's time.
  const bool mfmt = put.Err.find("\n MFMT\n") != std::string::npos;
  EXPECT_EQ(mfmt, GetParam() != TServerKind::Vsftpd);
  EXPECT_EQ(put.Err.find("\nMFMT 20200115120001 sent.bin\n") != std::string::npos, mfmt) << put.Err;
  if (mfmt) {
    EXPECT_EQ(ModifiedAt(Root + "sent.bin"), 1579089601);
  }
  if (GetParam() != TServerKind::Vsftpd) {  // vsftpd asks anonymous users for no password
    EXPECT_NE(put.Err.find("\nPASS xxxxx\n"), std::string::npos);
  }

  TRun missing = Cli("get " + Url + "missing.txt " + Local + "missing.txt");
  EXPECT_EQ(missing.Status, 1);
  EXPECT_EQ(missing.Err.rfind("pelmar-cli: Unable to complete transfer (550 ", 0), 0u)
      << missing.Err;
  EXPECT_EQ(std::count(missing.Err.begin(), missing.Err.end(), '\n'), 1);

  TRun badUrl = Cli("ls http://x/");
  EXPECT_EQ(badUrl.Status, 2);

  // The program's preferences apply: ASCII for .txt by the extension list, binary otherwise,
  // or one mode for everything.
  WriteFile(Local + "pelmar.ini", "[Connection]\nTransferMode=0\n[FileTypes]\nExt0=.txt\n");
  TRun autoMode = Cli("-v get " + Url + "hello.txt " + Local + "a.txt");
  EXPECT_NE(autoMode.Err.find("\nTYPE A\n"), std::string::npos) << autoMode.Err;
  EXPECT_EQ(ReadFile(Local + "a.txt"), "hello\n") << "text arrives with this system's line ends";
  WriteFile(Local + "pelmar.ini", "[Connection]\nTransferMode=4\n");
  TRun localMode = Cli("-v get " + Url + "hello.txt " + Local + "b.txt");
  EXPECT_NE(localMode.Err.find("\nTYPE L\n"), std::string::npos) << localMode.Err;
}

TEST_P(PelmarCli, WholeFoldersGoThroughTheQueue) {
  MakeFolders({Root + "pub", Root + "pub/docs", Root + "pub/docs/sub"});
  WriteFile(Root + "pub/docs/a.bin", std::string(5000, 'a'));
  WriteFile(Root + "pub/docs/sub/b.bin", "b");
  WriteFile(Root + "pub/docs/sub/empty.bin", "");
  // Listed with its minute ("Jan 15 12:34"): the copy keeps that minute.
  const std::time_t recent = std::time(nullptr) / 60 * 60 - 86400;
  const timeval listed[2] = {{recent, 0}, {recent, 0}};
  ::utimes((Root + "pub/docs/sub/b.bin").c_str(), listed);

  WriteFile(Local + "a file", "");
  TRun get = Cli("--active -r get " + Url + "pub/docs " + Local + "a file");
  EXPECT_EQ(get.Status, 2) << "a file is no folder: " << get.Err;
  // Passive mode, over the queue's own connections; the missing local folder is made.
  get = Cli("--passive --parallel 4 -r get " + Url + "pub/docs " + Local + "got");
  EXPECT_EQ(get.Status, 0) << get.Err;
  EXPECT_EQ(ReadFile(Local + "got/docs/a.bin"), std::string(5000, 'a'));
  EXPECT_EQ(ReadFile(Local + "got/docs/sub/b.bin"), "b");
  // pyftpdlib lists times in UTC, the others in local time: alike only where the two agree.
  std::tm local{};
  ::localtime_r(&recent, &local);
  if (GetParam() != TServerKind::Pyftpdlib || local.tm_gmtoff == 0) {
    EXPECT_EQ(ModifiedAt(Local + "got/docs/sub/b.bin"), recent);
  }
  EXPECT_TRUE(Exists(Local + "got/docs/sub/empty.bin"));

  // Existing files: skipped, or resumed from where they stop.
  WriteFile(Local + "got/docs/a.bin", std::string(1000, 'a'));
  TRun skip = Cli("-r --existing skip get " + Url + "pub/docs " + Local + "got");
  EXPECT_EQ(skip.Status, 0) << skip.Err;
  EXPECT_EQ(SizeOf(Local + "got/docs/a.bin"), 1000);
  // Without a terminal nobody is asked: a script's lines are no answers, and the file stays.
  WriteFile(Local + "answers", "y\ny\ny\n");
  TRun unasked = Cli("-r get " + Url + "pub/docs " + Local + "got <" + Local + "answers");
  EXPECT_EQ(unasked.Status, 0) << unasked.Err;
  EXPECT_EQ(SizeOf(Local + "got/docs/a.bin"), 1000);
  EXPECT_NE(unasked.Err.find("\"a.bin\" "), std::string::npos) << unasked.Err;
  EXPECT_NE(unasked.Err.find("left as it is (no terminal to ask"), std::string::npos)
      << unasked.Err;
  TRun resume = Cli("-r --existing resume get " + Url + "pub/docs " + Local + "got");
  EXPECT_EQ(resume.Status, 0) << resume.Err;
  EXPECT_EQ(ReadFile(Local + "got/docs/a.bin"), std::string(5000, 'a'));

  // A pipe in the tree is never opened (nothing would ever write to it).
  ASSERT_EQ(::mkfifo((Local + "got/docs/pipe").c_str(), 0600), 0);
  TRun put = Cli("--passive --parallel 4 -r put " + Local + "got/docs " + Url + "up/new/");
  EXPECT_EQ(put.Status, 0) << put.Err;
  EXPECT_NE(put.Err.find("pipe: not a file or folder"), std::string::npos) << put.Err;
  EXPECT_NE(put.Err.find(", 1 skipped"), std::string::npos) << put.Err;
  EXPECT_FALSE(Exists(Root + "up/new/docs/pipe"));
  EXPECT_EQ(ReadFile(Root + "up/new/docs/sub/b.bin"), "b");
  EXPECT_EQ(ReadFile(Root + "up/new/docs/a.bin"), std::string(5000, 'a'));

  TRun missing = Cli("-r get " + Url + "no/such " + Local + "got");
  EXPECT_EQ(missing.Status, 1) << missing.Err;
}

// Names with " -> " that are no links, links to folders and files, links that lead back into
// the walk or nowhere: each is taken for what it is, and each failure names its path and the
// server's reply.
TEST_P(PelmarCli, FolderWalksTakeNamesAndLinksForWhatTheyAre) {
  const std::string tree = Root + "tree/";
  MakeFolders({tree, tree + "real"});
  const std::string content(5000, 'x');
  WriteFile(tree + "real/x.bin", content);
  WriteFile(tree + "a -> b", "precious");
  for (const auto& [name, target] :
       std::vector<std::pair<const char*, const char*>>{{"alias", "real"},
                                                        {"self", "."},
                                                        {"up", ".."},
                                                        {"copy.bin", "real/x.bin"},
                                                        {"broken.bin", "nowhere.bin"},
                                                        {"gone", "nowhere"}}) {
    ASSERT_EQ(::symlink(target, (tree + name).c_str()), 0) << name;
  }
  MakeFolders({Local + "got"});
  TRun get = Cli("-r get " + Url + "tree " + Local + "got");
  // pyftpdlib's MLSD follows links: each is listed as what it leads to (a link to the folder
  // above as a folder, walked until the walk meets itself again), a broken one not at all.
  const bool followsLinks = GetParam() == TServerKind::Pyftpdlib;
  EXPECT_EQ(get.Status, followsLinks ? 0 : 1)
      << "one file and one folder could not be had: " << get.Err;
  const std::string got = Local + "got/tree/";
  EXPECT_EQ(ReadFile(got + "a -> b"), "precious") << get.Err;
  EXPECT_EQ(ReadFile(got + "real/x.bin"), content);
  EXPECT_EQ(ReadFile(got + "alias/x.bin"), content) << "a link to a folder is entered";
  EXPECT_EQ(ReadFile(got + "copy.bin"), content) << "a link to a file is fetched";
  EXPECT_FALSE(Exists(got + "self")) << get.Err;
  EXPECT_FALSE(Exists(got + "gone")) << "no empty folder for one that cannot be listed";
  const std::string lines = "\n" + get.Err;
  if (followsLinks) {
    EXPECT_TRUE(Tree(got + "up").empty()) << get.Err;
    EXPECT_NE(lines.find("Skipped folder tree/up/tree/"), std::string::npos) << get.Err;
  } else {
    EXPECT_FALSE(Exists(got + "up"));
    EXPECT_NE(lines.find("\ntree/broken.bin: 550 "), std::string::npos) << get.Err;
    EXPECT_NE(lines.find("\ntree/gone/: Could not open folder: 550 "), std::string::npos)
        << get.Err;
  }

  // Sending the tree back without replacing: the server's "a -> b" is seen and kept.
  WriteFile(got + "a -> b", "newer");
  TRun put = Cli("-r --existing skip put " + Local + "got/tree " + Url);
  EXPECT_EQ(ReadFile(tree + "a -> b"), "precious") << put.Err;
}

// mirror both ways: a second run moves nothing (no RETR or STOR goes out), --dry-run changes
// nothing, --delete removes what the source no longer has. Text files go in binary: their
// line ends (and a binary file that only looks like text) arrive as they were.
TEST_P(PelmarCli, MirrorKeepsTwoFoldersAlike) {
  MakeFolders({Root + "site", Root + "site/sub"});
  WriteFile(Root + "site/a.txt", "line one\nline two\r\n" + RandomBytes(3000, 5));
  WriteFile(Root + "site/notes.txt", "first\nsecond\n");
  WriteFile(Root + "site/sub/b.bin", RandomBytes(70000, 3));
  const std::string local = Local + "copy";
  const auto run = [&](const std::string& arguments) {
    TRun result = Cli("-v " + arguments);
    EXPECT_EQ(result.Status, 0) << arguments << "\n" << result.Err;
    return result;
  };
  TRun first = run("mirror " + Url + "site " + local);
  EXPECT_NE(first.Err.find("RETR "), std::string::npos) << "-v shows the queue's commands";
  EXPECT_EQ(first.Err.find("TYPE A"), std::string::npos) << first.Err;
  EXPECT_EQ(Tree(local), Tree(Root + "site"));
  TRun again = run("mirror " + Url + "site " + local);
  EXPECT_NE(again.Err.find("Nothing to transfer"), std::string::npos) << again.Err;
  EXPECT_EQ(again.Err.find("RETR "), std::string::npos) << again.Err;

  ::unlink((Root + "site/a.txt").c_str());
  WriteFile(local + "/sub/extra", "x");
  TRun plan = run("--dry-run --delete mirror " + Url + "site " + local);
  EXPECT_EQ(plan.Out, "delete a.txt (not in the source)\ndelete sub/extra (not in the source)\n");
  EXPECT_TRUE(Exists(local + "/a.txt")) << "a dry run changes nothing";
  run("--delete mirror " + Url + "site " + local);
  EXPECT_EQ(Tree(local), Tree(Root + "site"));

  // Up: the local folder is the source; newer and bigger files go, the rest stays.
  WriteFile(local + "/new.txt", "new\nlines\n");
  run("--delete mirror " + local + " " + Url + "back");
  EXPECT_EQ(Tree(Root + "back"), Tree(local));
  TRun up = run("mirror " + local + " " + Url + "back");
  EXPECT_NE(up.Err.find("Nothing to transfer"), std::string::npos) << up.Err;
  EXPECT_EQ(up.Err.find("STOR "), std::string::npos) << up.Err;
  // What the local folder no longer has goes from the server, a folder with its contents.
  ::unlink((local + "/new.txt").c_str());
  std::filesystem::remove_all(local + "/sub");
  run("--delete mirror " + local + " " + Url + "back");
  EXPECT_EQ(Tree(Root + "back"), Tree(local));
}

// When a resume cannot happen, the whole file moves and stderr says why.
// A server that computes checksums: right ones let files stand both ways, with a line in -v;
// wrong ones fail the transfer, leave the old local file as it was, and the exit status says
// so; --no-verify does not ask.
TEST(PelmarCliVerify, ChecksumsDecideWhetherAFileArrived) {
  for (const bool right : {true, false}) {
    SCOPED_TRACE(right ? "right checksums" : "wrong checksums");
    using TChecksums = TServerOptions::TChecksums;
    TRealFtpServer server(TServerKind::Pyftpdlib,
                          {.Checksums = right ? TChecksums::Right : TChecksums::Wrong});
    ASSERT_TRUE(server.Started()) << server.StartError();
    const std::string local = server.Root() + "../";
    const std::string content = RandomBytes(100000, 6);
    WriteFile(server.Root() + "f.bin", content);
    WriteFile(local + "f.bin", "old");
    TRun get = RunCli("-v get " + server.Url() + "f.bin " + local + "f.bin", local);
    EXPECT_EQ(get.Status, right ? 0 : 1) << get.Err;
    EXPECT_TRUE(ReadFile(local + "f.bin") == (right ? content : "old")) << "the old file stays";
    EXPECT_NE(get.Err.find(right ? "SHA-256 of f.bin matches the server's" : "is not the server's"),
              std::string::npos)
        << get.Err;
    TRun tree = RunCli("-r get " + server.Url() + "f.bin " + local + "tree", local);
    EXPECT_EQ(tree.Status, right ? 0 : 1) << tree.Err;
    // Uploads: a wrong new copy is deleted and said so; a wrong replacement never takes the
    // old file's place.
    WriteFile(local + "new.bin", content + "new");
    TRun put = RunCli("put " + local + "new.bin " + server.Url() + "up.bin", local);
    EXPECT_EQ(put.Status, right ? 0 : 1) << put.Err;
    EXPECT_EQ(Exists(server.Root() + "up.bin"), right);
    EXPECT_EQ(put.Err.find("; the wrong copy was deleted from the server") == std::string::npos,
              right)
        << put.Err;
    TRun over = RunCli("put " + local + "new.bin " + server.Url() + "f.bin", local);
    EXPECT_EQ(over.Status, right ? 0 : 1) << over.Err;
    EXPECT_TRUE(ReadFile(server.Root() + "f.bin") == (right ? content + "new" : content));
    if (right) WriteFile(server.Root() + "f.bin", content);
    TRun unchecked = RunCli("--no-verify get " + server.Url() + "f.bin " + local + "g.bin", local);
    EXPECT_EQ(unchecked.Status, 0) << unchecked.Err;
    if (!right) continue;
    // mirror --checksum: a copy whose time looks old but whose content is the server's stays.
    ::mkdir((server.Root() + "m").c_str(), 0777);
    WriteFile(server.Root() + "m/f.bin", content);
    ASSERT_EQ(RunCli("mirror " + server.Url() + "m " + local + "m", local).Status, 0);
    const timeval old[2] = {{978307200, 0}, {978307200, 0}};  // 2001
    ::utimes((local + "m/f.bin").c_str(), old);
    TRun byTime = RunCli("--dry-run mirror " + local + "m " + server.Url() + "m", local);
    EXPECT_EQ(byTime.Out, "") << "older here: nothing goes up";
    TRun down = RunCli("--dry-run mirror " + server.Url() + "m " + local + "m", local);
    EXPECT_EQ(down.Out, "copy f.bin (newer)\n");
    TRun byContent =
        RunCli("--dry-run --checksum mirror " + server.Url() + "m " + local + "m", local);
    EXPECT_EQ(byContent.Out, "") << byContent.Err;
    EXPECT_NE(byContent.Err.find("Nothing to transfer"), std::string::npos) << byContent.Err;
  }
}

// What mirror must keep: against a server that folds case, the file it just wrote and the folder
// it writes into; after failed copies, the old names in that folder; past --max-delete,
// everything. A server listing in another time zone is read in it, so a second run settles.
TEST(PelmarCliMirror, KeepsWhatItShould) {
  const auto serve = [](TServerOptions options) {
    auto server = std::make_unique<TRealFtpServer>(TServerKind::Pyftpdlib, options);
    EXPECT_TRUE(server->Started()) << server->StartError();
    return server;
  };
  {
    SCOPED_TRACE("a server that folds case");
    const auto server = serve({.FoldCase = true});
    const std::string root = server->Root();
    const std::string local = root + "../up/";
    fs::create_directories(root + "docs");
    fs::create_directories(local + "Docs");
    WriteFile(root + "README.TXT", "old");
    WriteFile(root + "docs/a.bin", "a");
    WriteFile(local + "readme.txt", "new text");
    WriteFile(local + "Docs/b.bin", "b");
    TRun up = RunCli("--delete mirror " + local + " " + server->Url(), root + "../");
    EXPECT_EQ(up.Status, 0) << up.Err;
    EXPECT_NE(up.Err.find("takes names that differ only in case for the same entry"),
              std::string::npos)
        << up.Err;
    EXPECT_EQ(Tree(root), (std::map<std::string, std::string>{
                              {"README.TXT", "new text"}, {"docs", "<dir>"}, {"docs/b.bin", "b"}}));
    TRun again = RunCli("--delete mirror " + local + " " + server->Url(), root + "../");
    EXPECT_NE(again.Err.find("Nothing to transfer"), std::string::npos) << again.Err;
  }
  {
    SCOPED_TRACE("copies that fail");
    const auto server = serve({.RefuseTransfersOf = "renamed"});
    const std::string root = server->Root();
    const std::string local = root + "../down/";
    for (const char* folder : {"moved", "kept"}) {
      fs::create_directories(root + folder);
      fs::create_directories(local + folder);
    }
    WriteFile(root + "moved/renamed.bin", "1");
    WriteFile(root + "kept/same.bin", "s");
    WriteFile(local + "moved/old.bin", "1");
    WriteFile(local + "kept/extra.bin", "x");
    WriteFile(local + "stale.bin", "x");
    TRun down = RunCli("--delete mirror " + server->Url() + " " + local, root + "../");
    EXPECT_EQ(down.Status, 1) << down.Err;
    EXPECT_TRUE(Exists(local + "moved/old.bin")) << "a copy failed in its folder";
    EXPECT_FALSE(Exists(local + "kept/extra.bin")) << down.Err;
    EXPECT_FALSE(Exists(local + "stale.bin")) << down.Err;
    EXPECT_NE(down.Err.find("moved/old.bin not deleted: a copy or listing failed in its folder"),
              std::string::npos)
        << down.Err;
    EXPECT_NE(down.Err.find("\n1 of 2 copied, 2 of 3 deleted (1 not deleted: a copy or listing "
                            "failed in their folder)\n"),
              std::string::npos)
        << down.Err;

    // A source that suddenly looks empty, past --max-delete: nothing goes.
    fs::create_directories(root + "empty");
    fs::create_directories(local + "kept/sub");
    WriteFile(local + "kept/sub/x", "x");
    WriteFile(local + "kept/sub/y", "y");
    const std::string emptied = "--delete mirror " + server->Url() + "empty " + local + "kept";
    for (const char* dry : {"--dry-run ", ""}) {
      TRun refused = RunCli(dry + std::string("--max-delete 3 ") + emptied, root + "../");
      EXPECT_EQ(refused.Status, 1);
      EXPECT_NE(refused.Err.find("4 entries would be deleted, more than --max-delete 3: nothing "
                                 "is deleted"),
                std::string::npos)
          << refused.Err;
      EXPECT_EQ(Tree(local + "kept").size(), 4u);
    }
    EXPECT_EQ(RunCli("--max-delete 4 " + emptied, root + "../").Status, 0);
    EXPECT_TRUE(Tree(local + "kept").empty());
  }
  {
    SCOPED_TRACE("LIST times five hours behind");
    const auto server = serve({.ListOffsetMinutes = -300});
    const std::string root = server->Root();
    const std::string local = root + "../zone/";
    fs::create_directories(local);
    WriteFile(local + "f.bin", "content");
    const std::string up = "mirror " + local + " " + server->Url();
    ASSERT_EQ(RunCli(up, root + "../").Status, 0);
    TRun again = RunCli(up, root + "../");
    EXPECT_NE(again.Err.find("5 hours behind this computer's clock"), std::string::npos)
        << again.Err;
    EXPECT_NE(again.Err.find("Nothing to transfer"), std::string::npos) << again.Err;
    EXPECT_EQ(RunCli("--time-offset -5:00 --dry-run " + up, root + "../").Out, "");
    EXPECT_EQ(RunCli("--time-offset +0:00 --dry-run " + up, root + "../").Out,
              "copy f.bin (newer)\n");
    EXPECT_EQ(RunCli("--time-offset 5:60 " + up, root + "../").Status, 2);
    // Asked for, text files go in text mode.
    WriteFile(root + "t.txt", "a\nb\n");
    TRun text = RunCli("-v --ascii mirror " + server->Url() + " " + root + "../text", root + "../");
    EXPECT_EQ(text.Status, 0) << text.Err;
    EXPECT_NE(text.Err.find("\n[queue] TYPE A\n"), std::string::npos) << text.Err;
  }
}

TEST(PelmarCliResume, RefusedRestartsSendOrFetchTheWholeFile) {
  TRealFtpServer server(TServerKind::Proftpd, {.StoreRestart = false});
  ASSERT_TRUE(server.Started()) << server.StartError();
  const std::string root = server.Root();
  const std::string local = root + "../";
  const std::string content = RandomBytes(300000, 4);
  WriteFile(local + "big.bin", content);
  WriteFile(root + "big.bin", content.substr(0, 100000));
  // ProFTPD accepts the REST and refuses the STOR after it ("451 Append/Restart not permitted").
  TRun put = RunCli("--resume put " + local + "big.bin " + server.Url() + "big.bin", local);
  EXPECT_EQ(put.Status, 0) << put.Err;
  EXPECT_EQ(ReadFile(root + "big.bin"), content);
  EXPECT_EQ(put.Err.rfind("pelmar-cli: the server refused to resume (451 ", 0), 0u) << put.Err;
  EXPECT_NE(put.Err.find("; sending the whole file\n"), std::string::npos) << put.Err;

  // Text files go in text mode, which is never resumed: both ways whole, and said why.
  const std::string text = "first line\nsecond line\nthird line\n";
  const std::string why =
      "pelmar-cli: \"notes.txt\" is transferred in text mode, which cannot be resumed; "
      "transferring it whole\n";
  WriteFile(root + "notes.txt", text);
  WriteFile(local + "notes.txt", text.substr(0, 11));
  TRun get = RunCli("--resume get " + server.Url() + "notes.txt " + local + "notes.txt", local);
  EXPECT_EQ(get.Status, 0) << get.Err;
  EXPECT_EQ(ReadFile(local + "notes.txt"), text);
  EXPECT_EQ(get.Err, why);
  WriteFile(root + "notes.txt", text.substr(0, 11));
  TRun back = RunCli("--resume put " + local + "notes.txt " + server.Url() + "notes.txt", local);
  EXPECT_EQ(back.Status, 0) << back.Err;
  EXPECT_EQ(ReadFile(root + "notes.txt"), text);
  EXPECT_EQ(back.Err, why);
}

// What a person could lose through pelmar-cli: names from a hostile server never leave the
// destination, a missing source is an error, skip stays skip for text files, and a local file
// larger than the server's is not resumed into a wrong file.
TEST(PelmarCliTrust, NothingOutsideTheDestinationNothingSilentlyLost) {
  TRealFtpServer server(TServerKind::Pyftpdlib, {.HostileNames = true});
  ASSERT_TRUE(server.Started()) << server.StartError();
  const std::string root = server.Root();
  const std::string local = root + "../";
  const std::string url = server.Url();
  ::mkdir((root + "trap").c_str(), 0777);
  WriteFile(root + "trap/ok.bin", "fine");
  ::mkdir((local + "a").c_str(), 0777);
  ::mkdir((local + "a/b").c_str(), 0777);

  TRun hostile = RunCli("-r get " + url + "trap " + local + "a/b/dl", local);
  EXPECT_EQ(hostile.Status, 1) << hostile.Err;
  EXPECT_EQ(ReadFile(local + "a/b/dl/trap/ok.bin"), "fine");
  for (const char* name : {"a/b/escape.txt", "a/escape.txt", "escape.txt", "a/b/dl/escape.txt"}) {
    EXPECT_FALSE(Exists(local + name)) << name;
  }
  EXPECT_NE(hostile.Err.find("Refused the server's name trap/../../..: "), std::string::npos)
      << hostile.Err;
  EXPECT_NE(hostile.Err.find("Refused the server's name trap/a/b: "), std::string::npos);
  // mirror both ways, with deleting: the same names are left alone, never deleted or entered.
  TRun down = RunCli("mirror " + url + "trap " + local + "a/b/m", local);
  EXPECT_EQ(down.Status, 1) << "left-alone names keep the folders from being alike";
  EXPECT_NE(down.Err.find("../escape.txt left alone: not a usable name"), std::string::npos)
      << down.Err;
  TRun again = RunCli("mirror " + url + "trap " + local + "a/b/m", local);
  EXPECT_EQ(again.Status, 1) << again.Err;
  EXPECT_EQ(again.Err.find("up to date"), std::string::npos) << again.Err;
  TRun up = RunCli("--delete mirror " + local + "a/b/m " + url + "trap", local);
  EXPECT_EQ(up.Status, 1) << up.Err;
  EXPECT_EQ(Tree(local + "a/b/m"), (std::map<std::string, std::string>{{"ok.bin", "fine"}}));
  for (const char* name : {"a/b/escape.txt", "a/escape.txt", "escape.txt", "a/b/m/escape.txt"}) {
    EXPECT_FALSE(Exists(local + name)) << name;
  }
  // What the server names reaches the terminal with its control characters made visible.
  TRun listed = RunCli("ls " + url + "trap/", local);
  EXPECT_EQ(listed.Out.find('\x1b'), std::string::npos) << listed.Out;
  EXPECT_NE(listed.Out.find(" \\x1b]0;PWNED\\x07\n"), std::string::npos) << listed.Out;
  EXPECT_EQ(hostile.Err.find('\x1b'), std::string::npos);

  // A source that is not there (or differs in case) is an error, both ways.
  for (const std::string& args :
       {"-r get " + url + "Trap " + local + "dl2", "-r get " + url + "nothing " + local + "dl2",
        "-r put " + local + "nothing " + url, "get " + url + ".. " + local}) {
    TRun missing = RunCli(args, local);
    EXPECT_EQ(missing.Status, 1) << args << ": " << missing.Err;
  }

  // Skip stays skip for a shorter text file; resume of a larger local file replaces it whole.
  WriteFile(root + "trap/notes.txt", "first line\nsecond line\n");
  WriteFile(local + "a/b/dl/trap/notes.txt", "XYZ");
  TRun skip = RunCli("--existing skip -r get " + url + "trap " + local + "a/b/dl", local);
  EXPECT_EQ(ReadFile(local + "a/b/dl/trap/notes.txt"), "XYZ") << skip.Err;
  const std::string content = RandomBytes(40000, 9);
  WriteFile(root + "big.bin", content.substr(0, 30000));
  WriteFile(local + "big.bin", content);
  TRun larger = RunCli("--resume get " + url + "big.bin " + local + "big.bin", local);
  EXPECT_EQ(larger.Status, 0) << larger.Err;
  EXPECT_EQ(ReadFile(local + "big.bin"), content.substr(0, 30000));
  EXPECT_NE(larger.Err.find("is larger than the server's"), std::string::npos) << larger.Err;

  // Without SIZE, and with REST taken but ignored, the listing decides: a partial file and a
  // larger local file both end as the server's file.
  TRealFtpServer dishonest(TServerKind::Pyftpdlib, {.DishonestRest = true});
  ASSERT_TRUE(dishonest.Started()) << dishonest.StartError();
  WriteFile(dishonest.Root() + "big.bin", content);
  for (const size_t have : {size_t{3000}, size_t{70000}}) {
    WriteFile(local + "d.bin", have < content.size()
                                   ? content.substr(0, have)
                                   : content + content.substr(0, have - content.size()));
    TRun resumed = RunCli("--resume get " + dishonest.Url() + "big.bin " + local + "d.bin", local);
    EXPECT_EQ(resumed.Status, 0) << resumed.Err;
    EXPECT_EQ(ReadFile(local + "d.bin"), content) << have;
    EXPECT_NE(resumed.Err.find("; fetching the whole file"), std::string::npos) << resumed.Err;
  }
}

// A server that sends half of each file and confirms it as whole: no download is called done,
// the message gives both sizes, and a new partial file is kept for resume without the server's
// time (that an old file stays as it was is the engine's to show). A larger server copy is never
// "resumed" by an upload.
TEST(PelmarCliTrust, ShortDownloadsFailAndLargerServerCopiesAreReplaced) {
  TRealFtpServer server(TServerKind::Pyftpdlib, {.ShortData = true});
  ASSERT_TRUE(server.Started()) << server.StartError();
  const std::string root = server.Root();
  const std::string local = root + "../";
  const std::string content = RandomBytes(100000, 11);
  ::mkdir((root + "two").c_str(), 0777);
  for (const char* name : {"f.bin", "two/a.bin", "two/b.bin"}) WriteFile(root + name, content);
  const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ::utimensat(AT_FDCWD, (root + "f.bin").c_str(), old, 0);

  const struct {
    std::string Args;
    std::string Said;
  } cases[] = {
      {"get " + server.Url() + "f.bin " + local + "f.bin",
       "came to 50000 bytes instead of the 100000 bytes SIZE gave (the partial file of 50000 "
       "bytes is kept; --resume continues it)"},
      {"-r get " + server.Url() + "two " + local + "dl",
       "came to 50000 bytes instead of the 100000"},
  };
  for (const auto& c : cases) {
    TRun run = RunCli(c.Args, local);
    EXPECT_EQ(run.Status, 1) << c.Args << ": " << run.Err;
    EXPECT_NE(run.Err.find(c.Said), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.find("Transferred "), std::string::npos) << run.Err;
  }
  EXPECT_EQ(ReadFile(local + "f.bin"), content.substr(0, 50000));
  struct stat info {};
  ::stat((local + "f.bin").c_str(), &info);
  EXPECT_NE(info.st_mtime, 1000000000) << "a partial file does not get the server's time";
  EXPECT_EQ(ReadFile(local + "dl/two/a.bin").size(), 50000u) << "kept for resume";

  WriteFile(local + "up.bin", content);
  WriteFile(root + "up.bin", RandomBytes(300000, 12));
  TRun put = RunCli("--resume put " + local + "up.bin " + server.Url() + "up.bin", local);
  EXPECT_EQ(put.Status, 0) << put.Err;
  EXPECT_EQ(ReadFile(root + "up.bin"), content);
  EXPECT_NE(put.Err.find("is larger than the local file (100000 bytes), so it is another file"),
            std::string::npos)
      << put.Err;
}

// vsftpd takes two connections from us: the browsing one and one of the queue's. The other
// three of --parallel 4 are turned away; the count comes down instead of files failing.
TEST(PelmarCliParallel, AServerThatTakesFewerConnectionsGetsFewer) {
  if (const std::string why = TRealFtpServer::CannotRun(TServerKind::Vsftpd); !why.empty()) {
    GTEST_SKIP() << why;
  }
  TRealFtpServer server(TServerKind::Vsftpd, {.MaxPerIp = 2});
  ASSERT_TRUE(server.Started()) << server.StartError();
  ::mkdir((server.Root() + "many").c_str(), 0777);
  for (int i = 0; i < 12; ++i) {
    WriteFile(server.Root() + "many/f" + std::to_string(i), std::to_string(i));
  }
  const std::string local = server.Root() + "../";
  TRun get =
      RunCli("-v --passive --parallel 4 -r get " + server.Url() + "many " + local + "got", local);
  EXPECT_EQ(get.Status, 0) << get.Err;
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(ReadFile(local + "got/many/f" + std::to_string(i)), std::to_string(i)) << i;
  }
  EXPECT_NE(get.Err.find("refused another connection"), std::string::npos) << get.Err;
  EXPECT_NE(get.Err.find("13 of 13 items done"), std::string::npos) << get.Err;
  EXPECT_EQ(RunCli("--parallel 11 -r get " + server.Url() + "many " + local, local).Status, 2);
}

TEST(PelmarCliResume, AServerThatCannotResumeGetsTheWholeUpload) {
  const std::string refused = "502 REST not implemented";
  TScript script;
  script.Reply("220 Ready").On("331 Password").On("230 In").On(refused).On(refused);
  script.On("200 Type I").On(refused).On("200 Type A").On("500 Unknown command");  // FEAT
  script.On("257 \"/\"");
  script.OnEach({"200 Type I", "200 PORT ok", "150 Go"}).ReceiveData().Reply("226 Done");
  script.On("257 \"/\"").On("221 Bye").WaitClose();
  TScriptedFtpServer server({script});
  const std::string dir = ::testing::TempDir() + "pelmar-cli-" + std::to_string(::getpid()) + "/";
  ::mkdir(dir.c_str(), 0755);
  WriteFile(dir + "up.bin", "whole file");
  TRun put = RunCli(
      "--active --resume put " + dir + "up.bin ftp://127.0.0.1:" + server.PortText() + "/up.bin",
      dir);
  EXPECT_EQ(put.Status, 0) << put.Err;
  EXPECT_EQ(put.Err, "pelmar-cli: the server cannot resume; sending the whole file\n");
  EXPECT_EQ(server.Uploaded(), "whole file");
  const auto commands = server.Commands();
  ASSERT_GE(commands.size(), 12u);
  EXPECT_EQ(commands[11], "STOR up.bin") << "no REST before it";
  std::system(("rm -rf '" + dir + "'").c_str());
}

// Each failure says what failed and why: a time-out names the step, a dropped connection is
// called that, a local error gives the system's reason, and no unrelated reply is quoted.
TEST(PelmarCliErrors, FailuresSayWhatHappened) {
  const std::string dir =
      ::testing::TempDir() + "pelmar-cli-errors-" + std::to_string(::getpid()) + "/";
  ::mkdir(dir.c_str(), 0755);
  auto logOn = [] {
    TScript s;
    const std::string refused = "502 REST not implemented";
    s.Reply("220 Ready").On("331 Password").On("230 In").On(refused).On(refused);
    s.On("200 Type I").On(refused).On("200 Type A").On("500 Unknown command");  // FEAT
    return s.On("257 \"/\"").On("200 Type I");
  };
  const std::string tooLong = dir + std::string(300, 'n');
  const struct {
    const char* Name;
    TScript Script;
    std::string Local;
    std::string Expected;  // the whole message
  } cases[] = {
      {"a server that never answers RETR", logOn().On("200 PORT ok").Read().WaitClose(),
       dir + "a.bin", "timed out after 1 s waiting for the server's reply to RETR"},
      {"a server that closes the connection mid-transfer",
       logOn().On("200 PORT ok").On("150 Go").DataHold("part").Close(), dir + "b.bin",
       "the server closed the connection (the partial file of 4 bytes is kept; --resume "
       "continues it)"},
      {"a local name the file system cannot take", logOn().On("257 \"/\"").WaitClose(), tooLong,
       "Unable to create file " + tooLong + ": File name too long"},
      {"a marker PWD answered with something else",
       logOn()
           .On("200 PORT ok")
           .On("150 Go")
           .SendData("x")
           .Reply("226 Done")
           .On("200 Fine")
           .WaitClose(),
       dir + "c.bin",
       "the server answered PWD with \"200 Fine\" (the partial file of 1 bytes is kept; --resume "
       "continues it)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TScriptedFtpServer server({c.Script});
    TRun get = RunCli(
        "--active --timeout 1 get ftp://127.0.0.1:" + server.PortText() + "/f.bin " + c.Local, dir);
    EXPECT_EQ(get.Status, 1);
    EXPECT_EQ(get.Err, "pelmar-cli: " + c.Expected + "\n");
  }
  std::system(("rm -rf '" + dir + "'").c_str());
}

// A server on ::1 reached from a bracketed address: EPRT announces our port in active mode,
// EPSV asks for the server's in passive mode.
class PelmarCliIpv6 : public ::testing::TestWithParam<TServerKind> {};

TEST_P(PelmarCliIpv6, ActiveAndPassiveFromABracketedAddress) {
  if (const std::string why = TRealFtpServer::CannotRun(GetParam()); !why.empty()) {
    GTEST_SKIP() << why;
  }
  TRealFtpServer server(GetParam(), {.Ipv6 = true});
  ASSERT_TRUE(server.Started()) << server.StartError();
  ASSERT_EQ(server.Url().find("@[::1]:"), server.Url().find('@')) << server.Url();
  const std::string local = server.Root() + "../";
  WriteFile(server.Root() + "six.txt", "over IPv6");
  for (const char* mode : {"--active", "--passive"}) {
    SCOPED_TRACE(mode);
    ::unlink((local + "six.txt").c_str());
    TRun get =
        RunCli(std::string("-v ") + mode + " get " + server.Url() + "six.txt " + local, local);
    EXPECT_EQ(get.Status, 0) << get.Err;
    EXPECT_EQ(ReadFile(local + "six.txt"), "over IPv6");
    const bool active = std::string(mode) == "--active";
    EXPECT_EQ(get.Err.find("EPRT |2|::1|") != std::string::npos, active) << get.Err;
    EXPECT_EQ(get.Err.find("\nEPSV\n") != std::string::npos, !active) << get.Err;
    EXPECT_EQ(get.Err.find("PORT "), std::string::npos) << get.Err;
  }
}

// A server that takes nothing in clear, with a certificate no authority signed.
TEST(PelmarCliTls, AnUnverifiedCertificateNeedsTrustAndFoldersThenMoveEncrypted) {
  TTlsCertificates certificates;
  ASSERT_TRUE(certificates.Made());
  TRealFtpServer server(TServerKind::Pyftpdlib,
                        {.Certificate = certificates.File("selfsigned"), .ImplicitTls = false});
  ASSERT_TRUE(server.Started()) << server.StartError();
  const std::string local = server.Root() + "../";
  ::mkdir((server.Root() + "pub").c_str(), 0777);
  ::mkdir((server.Root() + "pub/sub").c_str(), 0777);
  WriteFile(server.Root() + "pub/a.bin", std::string(70000, 'a'));
  WriteFile(server.Root() + "pub/sub/b.bin", "b");
  const std::string url = "ftpes://" + server.Url().substr(6);
  const std::string fingerprint = certificates.Fingerprint("selfsigned");

  const TRun refused = RunCli("ls " + url + " </dev/null", local);
  EXPECT_EQ(refused.Status, 1);
  EXPECT_NE(refused.Err.find("self-signed certificate"), std::string::npos) << refused.Err;
  EXPECT_NE(refused.Err.find("--trust " + fingerprint), std::string::npos) << refused.Err;
  const TRun plain = RunCli("ls " + server.Url() + " </dev/null", local);
  EXPECT_EQ(plain.Status, 1) << "the server refuses log-ons in clear";

  const TRun got = RunCli(
      "--trust " + fingerprint + " -r get " + url + "pub " + local + "got </dev/null", local);
  EXPECT_EQ(got.Status, 0) << got.Err;
  EXPECT_EQ(ReadFile(local + "got/pub/a.bin"), std::string(70000, 'a'));
  EXPECT_EQ(ReadFile(local + "got/pub/sub/b.bin"), "b");
}

INSTANTIATE_TEST_SUITE_P(Servers, PelmarCliIpv6,
                         ::testing::Values(TServerKind::Pyftpdlib, TServerKind::Vsftpd),
                         [](const auto& param) { return ServerName(param.param); });

INSTANTIATE_TEST_SUITE_P(Servers, PelmarCli, ::testing::ValuesIn(AllServerKinds()),
                         [](const auto& param) { return ServerName(param.param); });

}  // namespace
}  // namespace pelmar::test
