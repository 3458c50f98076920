// pelmar-cli: its URL syntax, and the program itself against real and scripted servers.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <memory>

#include "FtpUrl.h"
#include "TerminalText.h"
#include "support/CliRun.h"
#include "support/Files.h"
#include "support/RealFtpServer.h"
#include "support/ScriptedFtpServer.h"
#include "text/TextUtils.h"

namespace pelmar::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

TEST(FtpUrl, Parts) {
  const struct {
    const char* Text;
    const char* User;
    const char* Password;
    const char* Host;
    int Port;
    const char* Path;
    TEncryption Encryption = enPlain;
    TProtocol Protocol = prFtp;
  } cases[] = {
      {"ftp://example.com", "anonymous", "", "example.com", 21, ""},
      {"ftpes://h/x", "anonymous", "", "h", 21, "x", enExplicitTls},
      {"ftps://h/x", "anonymous", "", "h", 990, "x", enImplicitTls},
      {"ftps://h:2990/", "anonymous", "", "h", 2990, "", enImplicitTls},
      {"ftp://u:p@h:2121/pub/file.txt", "u", "p", "h", 2121, "pub/file.txt"},
      {"ftp://u:p@[::1]:2121/pub/file.txt", "u", "p", "::1", 2121, "pub/file.txt"},
      {"ftp://u@h/a%20b", "u", "", "h", 21, "a b"},
      {"ftp://u%40x:p%3Aq@h/", "u@x", "p:q", "h", 21, ""},
      {"ftp://u:p@ss@h/x", "u", "p@ss", "h", 21, "x"},
      {"ftp://h/%2Fetc/motd", "anonymous", "", "h", 21, "/etc/motd"},
      {"ftp://h//etc/", "anonymous", "", "h", 21, "/etc/"},
      // SSH has no anonymous user: without one, the SSH configuration's or the local one's.
      {"sftp://h/x", "", "", "h", 22, "x", enPlain, prSftp},
      {"sftp://u:p@[::1]:2222/%2Ftmp/s/", "u", "p", "::1", 2222, "/tmp/s/", enPlain, prSftp},
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
    EXPECT_EQ(url->Protocol, c.Protocol) << c.Text;
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
       {"http://h/", "ssh://h/", "ftp://", "ftp:///x", "ftp://h:/", "ftp://h:99999/", "ftp://h:2x/",
        "ftp://h/%zz", "h/x", "ftp://[::1/", "ftp://[::1]x/"}) {
    std::string error;
    EXPECT_FALSE(ParseFtpUrl(text, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

// pelmar-cli against a real server, with a local folder beside the served one.
class CliTest : public ::testing::Test {
 protected:
  // Starts a server (in place of the one before); Root, Local and Url are then its.
  void Serve(TServerKind kind, const TServerOptions& options = {}) {
    if (const std::string why = TRealFtpServer::CannotRun(kind); !why.empty()) {
      GTEST_SKIP() << why;
    }
    Server = std::make_unique<TRealFtpServer>(kind, options);
    ASSERT_TRUE(Server->Started()) << Server->StartError();
    Root = Server->Root();
    Local = Root + "../";
    Url = Server->Url();
  }
  TRun Cli(int status, const std::string& arguments) const {
    return RunCli(status, arguments, Local);
  }

  std::unique_ptr<TRealFtpServer> Server;
  std::string Root;   // served
  std::string Local;  // beside it, not inside
  std::string Url;
};

// The same against each kind of server.
class PelmarCli : public CliTest, public ::testing::WithParamInterface<TServerKind> {
 protected:
  void SetUp() override { Serve(GetParam()); }
};

TEST_P(PelmarCli, ListGetPutAndFailures) {
  WriteFile(Root + "hello.txt", "hello\n");
  fs::create_directories(Root + "sub dir");
  // "-rw-r--r-- 6 2026-06-15 10:30 hello.txt", in the server's order
  const TRun ls = Cli(0, "ls " + Url);
  EXPECT_THAT(ls.Out, ContainsRegex("(^|\n)-rw[^\n]* 6 [^\n]* hello\\.txt\n"));
  EXPECT_THAT(ls.Out, ContainsRegex("(^|\n)drwx[^\n]* sub dir\n"));
  EXPECT_THAT(Cli(0, "--raw ls " + Url).Out, HasSubstr(" hello.txt\r\n"));

  // A download keeps the server's time to the second (MDTM), unless told not to.
  WriteFile(Root + "hello.bin", "hello\n");
  SetModified(Root + "hello.bin", 1579089601);  // 2020-01-15 12:00:01 UTC
  Cli(0, "get " + Url + "hello.bin " + Local + "copy.bin");
  EXPECT_EQ(ReadFile(Local + "copy.bin"), "hello\n");
  EXPECT_EQ(ModifiedAt(Local + "copy.bin"), 1579089601);
  Cli(0, "--no-times get " + Url + "hello.bin " + Local + "new.bin");
  EXPECT_GT(ModifiedAt(Local + "new.bin"), 1579089601) << "--no-times";

  // -v shows the dialogue. Where FEAT offers MFMT (all but vsftpd), the server's copy takes the
  // local file's time.
  const TRun put = Cli(0, "-v put " + Local + "copy.bin " + Url + "sent.bin");
  EXPECT_EQ(ReadFile(Root + "sent.bin"), "hello\n");
  EXPECT_THAT(put.Err, HasSubstr("\nSTOR sent.bin\n"));
  const bool mfmt = GetParam() != TServerKind::Vsftpd;
  EXPECT_EQ(put.Err.find("\nMFMT 20200115120001 sent.bin\n") != std::string::npos, mfmt);
  if (mfmt) {
    EXPECT_EQ(ModifiedAt(Root + "sent.bin"), 1579089601);
  }

  const TRun missing = Cli(1, "get " + Url + "missing.txt " + Local + "missing.txt");
  EXPECT_THAT(missing.Err, StartsWith("pelmar-cli: Unable to complete transfer (550 "));
  EXPECT_EQ(std::count(missing.Err.begin(), missing.Err.end(), '\n'), 1);

  // The program's preferences apply: ASCII for .txt by the extension list, or one mode for
  // everything.
  WriteFile(Local + "pelmar.ini", "[Connection]\nTransferMode=0\n[FileTypes]\nExt0=.txt\n");
  EXPECT_THAT(Cli(0, "-v get " + Url + "hello.txt " + Local + "a.txt").Err,
              HasSubstr("\nTYPE A\n"));
  EXPECT_EQ(ReadFile(Local + "a.txt"), "hello\n") << "text arrives with this system's line ends";
}

TEST_P(PelmarCli, WholeFoldersGoThroughTheQueue) {
  fs::create_directories(Root + "pub/docs/sub");
  WriteFile(Root + "pub/docs/a.bin", std::string(5000, 'a'));
  WriteFile(Root + "pub/docs/sub/b.bin", "b");
  WriteFile(Root + "pub/docs/sub/empty.bin", "");
  // Listed with its minute ("Jan 15 12:34"): the copy keeps that minute.
  const std::time_t recent = std::time(nullptr) / 60 * 60 - 86400;
  SetModified(Root + "pub/docs/sub/b.bin", recent);

  WriteFile(Local + "a file", "");
  Cli(2, "--active -r get " + Url + "pub/docs " + Local + "a file");  // a file is no folder
  Cli(2, "--parallel 11 -r get " + Url + "pub/docs " + Local + "got");
  // Passive mode, over the queue's own connections; the missing local folder is made.
  Cli(0, "--passive --parallel 4 -r get " + Url + "pub/docs " + Local + "got");
  EXPECT_EQ(Tree(Local + "got/docs"), Tree(Root + "pub/docs"));
  // pyftpdlib lists times in UTC, the others in local time: alike only where the two agree.
  std::tm local{};
  ::localtime_r(&recent, &local);
  if (GetParam() != TServerKind::Pyftpdlib || local.tm_gmtoff == 0) {
    EXPECT_EQ(ModifiedAt(Local + "got/docs/sub/b.bin"), recent);
  }

  // Existing files: skipped; without a terminal nobody is asked (a script's lines are no
  // answers) and the file stays; or resumed from where they stop.
  WriteFile(Local + "got/docs/a.bin", std::string(1000, 'a'));
  Cli(0, "-r --existing skip get " + Url + "pub/docs " + Local + "got");
  EXPECT_EQ(SizeOf(Local + "got/docs/a.bin"), 1000);
  WriteFile(Local + "answers", "y\ny\ny\n");
  const TRun unasked = Cli(0, "-r get " + Url + "pub/docs " + Local + "got <" + Local + "answers");
  EXPECT_EQ(SizeOf(Local + "got/docs/a.bin"), 1000);
  EXPECT_THAT(unasked.Err, ContainsRegex("\"a.bin\" [^\n]*; left as it is \\(no terminal to ask"));
  Cli(0, "-r --existing resume get " + Url + "pub/docs " + Local + "got");
  EXPECT_EQ(ReadFile(Local + "got/docs/a.bin"), std::string(5000, 'a'));

  Cli(0, "--passive --parallel 4 -r put " + Local + "got/docs " + Url + "up/new/");
  EXPECT_EQ(Tree(Root + "up/new/docs"), Tree(Local + "got/docs"));
}

// Names with " -> " that are no links, links to folders and files, links that lead back into
// the walk or nowhere: each is taken for what it is, and each failure names its path and the
// server's reply.
TEST_P(PelmarCli, FolderWalksTakeNamesAndLinksForWhatTheyAre) {
  const std::string tree = Root + "tree/";
  fs::create_directories(tree + "real");
  const std::string content(5000, 'x');
  WriteFile(tree + "real/x.bin", content);
  WriteFile(tree + "a -> b", "precious");
  const std::pair<const char*, const char*> links[] = {{"alias", "real"},
                                                       {"self", "."},
                                                       {"up", ".."},
                                                       {"copy.bin", "real/x.bin"},
                                                       {"broken.bin", "nowhere.bin"},
                                                       {"gone", "nowhere"}};
  for (const auto& [name, target] : links) {
    ASSERT_EQ(::symlink(target, (tree + name).c_str()), 0) << name;
  }
  fs::create_directories(Local + "got");
  // pyftpdlib's MLSD follows links: each is listed as what it leads to (a link to the folder
  // above as a folder, walked until the walk meets itself again), a broken one not at all.
  // Elsewhere one file and one folder cannot be had.
  const bool followsLinks = GetParam() == TServerKind::Pyftpdlib;
  const TRun get = Cli(followsLinks ? 0 : 1, "-r get " + Url + "tree " + Local + "got");
  const std::string got = Local + "got/tree/";
  EXPECT_EQ(ReadFile(got + "a -> b"), "precious") << get.Err;
  EXPECT_EQ(ReadFile(got + "real/x.bin"), content);
  EXPECT_EQ(ReadFile(got + "alias/x.bin"), content) << "a link to a folder is entered";
  EXPECT_EQ(ReadFile(got + "copy.bin"), content) << "a link to a file is fetched";
  EXPECT_FALSE(Exists(got + "self")) << get.Err;
  EXPECT_FALSE(Exists(got + "gone")) << "no empty folder for one that cannot be listed";
  if (followsLinks) {
    EXPECT_TRUE(Tree(got + "up").empty()) << get.Err;
    EXPECT_THAT(get.Err, HasSubstr("Skipped folder tree/up/tree/"));
  } else {
    EXPECT_FALSE(Exists(got + "up"));
    EXPECT_THAT("\n" + get.Err, HasSubstr("\ntree/broken.bin: 550 "));
    EXPECT_THAT("\n" + get.Err, HasSubstr("\ntree/gone/: Could not open folder: 550 "));
  }

  // Sending the tree back without replacing: the server's "a -> b" is seen and kept.
  WriteFile(got + "a -> b", "newer");
  Cli(0, "-r --existing skip put " + Local + "got/tree " + Url);
  EXPECT_EQ(ReadFile(tree + "a -> b"), "precious");
}

// mirror both ways: a second run moves nothing (no RETR or STOR goes out), --dry-run changes
// nothing, --delete removes what the source no longer has. Text files go in binary: their
// line ends (and a binary file that only looks like text) arrive as they were.
TEST_P(PelmarCli, MirrorKeepsTwoFoldersAlike) {
  fs::create_directories(Root + "site/sub");
  WriteFile(Root + "site/a.txt", "line one\nline two\r\n" + RandomBytes(3000, 5));
  WriteFile(Root + "site/notes.txt", "first\nsecond\n");
  WriteFile(Root + "site/sub/b.bin", RandomBytes(70000, 3));
  const std::string local = Local + "copy";
  const std::string down = "mirror " + Url + "site " + local;
  const TRun first = Cli(0, "-v " + down);
  EXPECT_THAT(first.Err, HasSubstr("RETR ")) << "-v shows the queue's commands";
  EXPECT_THAT(first.Err, Not(HasSubstr("TYPE A")));
  EXPECT_EQ(Tree(local), Tree(Root + "site"));
  const TRun again = Cli(0, "-v " + down);
  EXPECT_THAT(again.Err, AllOf(HasSubstr("Nothing to transfer"), Not(HasSubstr("RETR "))));

  ::unlink((Root + "site/a.txt").c_str());
  WriteFile(local + "/sub/extra", "x");
  EXPECT_EQ(Cli(0, "--dry-run --delete " + down).Out,
            "delete a.txt (not in the source)\ndelete sub/extra (not in the source)\n");
  EXPECT_TRUE(Exists(local + "/a.txt")) << "a dry run changes nothing";
  Cli(0, "--delete " + down);
  EXPECT_EQ(Tree(local), Tree(Root + "site"));

  // Up: the local folder is the source; newer and bigger files go, the rest stays.
  const std::string up = "mirror " + local + " " + Url + "back";
  WriteFile(local + "/new.txt", "new\nlines\n");
  Cli(0, "--delete " + up);
  EXPECT_EQ(Tree(Root + "back"), Tree(local));
  EXPECT_THAT(Cli(0, "-v " + up).Err,
              AllOf(HasSubstr("Nothing to transfer"), Not(HasSubstr("STOR "))));
  // What the local folder no longer has goes from the server, a folder with its contents.
  ::unlink((local + "/new.txt").c_str());
  fs::remove_all(local + "/sub");
  Cli(0, "--delete " + up);
  EXPECT_EQ(Tree(Root + "back"), Tree(local));
}

// A server whose checksums are wrong: a transfer fails and the exit status says so (what stays
// and what goes is the engine's to show); --no-verify does not ask. With right ones, mirror
// --checksum keeps a copy whose time looks old.
TEST_F(CliTest, ChecksumsDecideWhetherAFileArrived) {
  ASSERT_NO_FATAL_FAILURE(
      Serve(TServerKind::Pyftpdlib, {.Checksums = TServerOptions::TChecksums::Wrong}));
  const std::string content = RandomBytes(100000, 6);
  WriteFile(Root + "f.bin", content);
  EXPECT_THAT(Cli(1, "get " + Url + "f.bin " + Local + "f.bin").Err,
              HasSubstr("is not the server's"));
  Cli(0, "--no-verify get " + Url + "f.bin " + Local + "g.bin");

  ASSERT_NO_FATAL_FAILURE(
      Serve(TServerKind::Pyftpdlib, {.Checksums = TServerOptions::TChecksums::Right}));
  fs::create_directories(Root + "m");
  WriteFile(Root + "m/f.bin", content);
  const std::string mirror = "mirror " + Url + "m " + Local + "m";
  Cli(0, mirror);
  SetModified(Local + "m/f.bin", 978307200);  // 2001
  const TRun byTime = Cli(0, "--dry-run " + mirror);
  EXPECT_EQ(byTime.Out, "copy f.bin (newer)\n");
  EXPECT_THAT(byTime.Err, HasSubstr("Would copy 1 and delete 0; nothing was changed"));
  const TRun byContent = Cli(0, "--dry-run --checksum " + mirror);
  EXPECT_EQ(byContent.Out, "");
  EXPECT_THAT(byContent.Err, HasSubstr("Nothing to transfer"));
}

// What mirror must keep: against a server that folds case, the file it just wrote and the folder
// it writes into; after failed copies, the old names in that folder; past --max-delete,
// everything. A server listing in another time zone is read in it, so a second run settles.
TEST_F(CliTest, MirrorKeepsWhatItShould) {
  {
    SCOPED_TRACE("a server that folds case");
    ASSERT_NO_FATAL_FAILURE(Serve(TServerKind::Pyftpdlib, {.FoldCase = true}));
    const std::string up = "--delete mirror " + Local + "up/ " + Url;
    fs::create_directories(Root + "docs");
    fs::create_directories(Local + "up/Docs");
    WriteFile(Root + "README.TXT", "old");
    WriteFile(Root + "docs/a.bin", "a");
    WriteFile(Local + "up/readme.txt", "new text");
    WriteFile(Local + "up/Docs/b.bin", "b");
    EXPECT_THAT(Cli(0, up).Err,
                HasSubstr("takes names that differ only in case for the same entry"));
    EXPECT_EQ(Tree(Root), (std::map<std::string, std::string>{
                              {"README.TXT", "new text"}, {"docs", "<dir>"}, {"docs/b.bin", "b"}}));
    EXPECT_THAT(Cli(0, up).Err, HasSubstr("Nothing to transfer"));
  }
  {
    SCOPED_TRACE("copies that fail");
    ASSERT_NO_FATAL_FAILURE(Serve(TServerKind::Pyftpdlib, {.RefuseTransfersOf = "renamed"}));
    const std::string local = Local + "down/";
    for (const char* folder : {"moved", "kept"}) {
      fs::create_directories(Root + folder);
      fs::create_directories(local + folder);
    }
    WriteFile(Root + "moved/renamed.bin", "1");
    WriteFile(Root + "kept/same.bin", "s");
    WriteFile(local + "moved/old.bin", "1");
    WriteFile(local + "kept/extra.bin", "x");
    WriteFile(local + "stale.bin", "x");
    const TRun down = Cli(1, "--delete mirror " + Url + " " + local);
    EXPECT_TRUE(Exists(local + "moved/old.bin")) << "a copy failed in its folder";
    EXPECT_FALSE(Exists(local + "kept/extra.bin"));
    EXPECT_FALSE(Exists(local + "stale.bin"));
    EXPECT_THAT(down.Err,
                HasSubstr("moved/old.bin not deleted: a copy or listing failed in its folder"));
    EXPECT_THAT(down.Err, HasSubstr("\n1 of 2 copied, 2 of 3 deleted (1 not deleted: a copy or "
                                    "listing failed in their folder)\n"));

    // A source that suddenly looks empty, past --max-delete: nothing goes.
    fs::create_directories(Root + "empty");
    fs::create_directories(local + "kept/sub");
    WriteFile(local + "kept/sub/x", "x");
    WriteFile(local + "kept/sub/y", "y");
    const std::string emptied = "--delete mirror " + Url + "empty " + local + "kept";
    for (const char* dry : {"--dry-run ", ""}) {
      EXPECT_THAT(Cli(1, dry + std::string("--max-delete 3 ") + emptied).Err,
                  HasSubstr("4 entries would be deleted, more than --max-delete 3: nothing "
                            "is deleted"));
      EXPECT_EQ(Tree(local + "kept").size(), 4u);
    }
    Cli(0, "--max-delete 4 " + emptied);
    EXPECT_TRUE(Tree(local + "kept").empty());
  }
  {
    SCOPED_TRACE("LIST times five hours behind");
    ASSERT_NO_FATAL_FAILURE(Serve(TServerKind::Pyftpdlib, {.ListOffsetMinutes = -300}));
    fs::create_directories(Local + "zone");
    WriteFile(Local + "zone/f.bin", "content");
    const std::string up = "mirror " + Local + "zone/ " + Url;
    Cli(0, up);
    EXPECT_THAT(Cli(0, up).Err, AllOf(HasSubstr("5 hours behind this computer's clock"),
                                      HasSubstr("Nothing to transfer")));
    EXPECT_EQ(Cli(0, "--time-offset -5:00 --dry-run " + up).Out, "");
    EXPECT_EQ(Cli(0, "--time-offset +0:00 --dry-run " + up).Out, "copy f.bin (newer)\n");
    Cli(2, "--time-offset 5:60 " + up);
    // Asked for, text files go in text mode.
    WriteFile(Root + "t.txt", "a\nb\n");
    EXPECT_THAT(Cli(0, "-v --ascii mirror " + Url + " " + Local + "text").Err,
                HasSubstr("\n[queue] TYPE A\n"));
  }
}

// When a resume cannot be what was asked, the whole file moves and stderr says why; the copy
// always ends as the source.
TEST_F(CliTest, ResumesThatCannotBeMoveTheWholeFile) {
  const std::string content = RandomBytes(300000, 4);
  const std::string text = "first line\nsecond line\nthird line\n";
  const std::string textMode =
      "pelmar-cli: \"notes.txt\" is transferred in text mode, which cannot be resumed; "
      "transferring it whole\n";
  const TServerOptions plain{}, noStoreRestart{.StoreRestart = false},
      ignoresRest{.DishonestRest = true};
  const struct {
    const char* Name;
    TServerKind Kind;
    const TServerOptions& Options;
    bool Upload;
    const char* File;
    std::string Source;
    std::string Destination;  // what is there before
    std::string Says;
  } cases[] = {
      // ProFTPD accepts the REST and refuses the STOR after it.
      {"a restarted STOR refused", TServerKind::Proftpd, noStoreRestart, true, "big.bin", content,
       content.substr(0, 100000), "pelmar-cli: the server refused to resume (451 "},
      {"text mode, down", TServerKind::Pyftpdlib, plain, false, "notes.txt", text,
       text.substr(0, 11), textMode},
      {"text mode, up", TServerKind::Pyftpdlib, plain, true, "notes.txt", text, text.substr(0, 11),
       textMode},
      {"a local file larger than the server's", TServerKind::Pyftpdlib, plain, false, "big.bin",
       content.substr(0, 30000), content, "is larger than the server's"},
      {"a server copy larger than the local file", TServerKind::Pyftpdlib, plain, true, "up.bin",
       content.substr(0, 100000), content,
       "is larger than the local file (100000 bytes), so it is another file"},
      // Without SIZE, and with REST taken but ignored, the listing decides.
      {"REST ignored, a partial file", TServerKind::Pyftpdlib, ignoresRest, false, "d.bin", content,
       content.substr(0, 3000), "; fetching the whole file"},
      {"REST ignored, a larger local file", TServerKind::Pyftpdlib, ignoresRest, false, "d.bin",
       content, content + content.substr(0, 3000), "; fetching the whole file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_NO_FATAL_FAILURE(Serve(c.Kind, c.Options));
    const std::string local = Local + c.File;
    const std::string remote = Root + c.File;
    WriteFile(c.Upload ? local : remote, c.Source);
    WriteFile(c.Upload ? remote : local, c.Destination);
    const TRun run = Cli(0, c.Upload ? "--resume put " + local + " " + Url + c.File
                                     : "--resume get " + Url + c.File + " " + local);
    EXPECT_THAT(run.Err, HasSubstr(c.Says));
    EXPECT_TRUE(ReadFile(c.Upload ? remote : local) == c.Source);
  }
}

// A scripted server that cannot resume (REST refused in both modes, no FEAT), logged on.
TScript CannotResume() {
  const char* refused = "502 REST not implemented";
  return TScript()
      .Reply("220 Ready")
      .OnEach({"331 Password", "230 In", "500 Unknown command", refused, refused, "200 Type I"})
      .OnEach({refused, "200 Type A", "257 \"/\"", "200 Type I"});
}

// Each failure says what failed and why: a time-out names the step, a dropped connection is
// called that, a local error gives the system's reason, a short download both sizes, and no
// unrelated reply is quoted. A resume that cannot be says so and sends the whole file.
TEST(PelmarCliScripted, StderrSaysWhatHappened) {
  const std::string dir =
      ::testing::TempDir() + "pelmar-cli-errors-" + std::to_string(::getpid()) + "/";
  fs::create_directories(dir);
  const std::string tooLong = dir + std::string(300, 'n');
  const struct {
    const char* Name;
    TScript Script;
    std::string Local;
    std::string Expected;  // the whole message
    bool Upload = false;   // with --resume (else a download)
  } cases[] = {
      {"a server that never answers RETR", CannotResume().On("200 PORT ok").Read().WaitClose(),
       dir + "a.bin", "timed out after 1 s waiting for the server's reply to RETR"},
      {"a server that closes the connection mid-transfer",
       CannotResume().On("200 PORT ok").On("150 Go").DataHold("part").Close(), dir + "b.bin",
       "the server closed the connection (the partial file of 4 bytes is kept; --resume "
       "continues it)"},
      {"a local name the file system cannot take", CannotResume().On("221 Bye").WaitClose(),
       tooLong, "Unable to create file " + tooLong + ": File name too long"},
      {"a download shorter than the server announced",
       CannotResume()
           .OnEach({"200 PORT ok", "150 Opening f.bin (11 bytes)"})
           .SendData("half")
           .Reply("226 Done")
           .On("221 Bye")
           .WaitClose(),
       dir + "d.bin",
       "The download of f.bin came to 4 bytes instead of the 11 bytes the server announced (the "
       "partial file of 4 bytes is kept; --resume continues it)"},
      {"a server that cannot resume",
       CannotResume()
           .OnEach({"200 PORT ok", "150 Go"})
           .ReceiveData()
           .Reply("226 Done")
           .On("221 Bye")
           .WaitClose(),
       dir + "up.bin", "the server cannot resume; sending the whole file", true},
  };
  WriteFile(dir + "up.bin", "whole file");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TScriptedFtpServer server({c.Script});
    const std::string url = "ftp://127.0.0.1:" + server.PortText() + "/";
    const TRun run = c.Upload
                         ? RunCli(0, "--active --resume put " + c.Local + " " + url + "up.bin", dir)
                         : RunCli(1, "--active --timeout 1 get " + url + "f.bin " + c.Local, dir);
    EXPECT_EQ(run.Err, "pelmar-cli: " + c.Expected + "\n");
    if (c.Upload) {
      EXPECT_EQ(server.Uploaded(), "whole file");
    }
  }
  fs::remove_all(dir);
}

// What a person could lose through pelmar-cli: names from a hostile server never leave the
// destination, whether fetched or mirrored (with deleting, both ways), nor reach the terminal
// raw; a missing source is an error; skip stays skip for a text file.
TEST_F(CliTest, NothingOutsideTheDestinationNothingSilentlyLost) {
  ASSERT_NO_FATAL_FAILURE(Serve(TServerKind::Pyftpdlib, {.HostileNames = true}));
  fs::create_directories(Root + "trap");
  WriteFile(Root + "trap/ok.bin", "fine");
  fs::create_directories(Local + "a/b");

  const TRun hostile = Cli(1, "-r get " + Url + "trap " + Local + "a/b/dl");
  EXPECT_EQ(ReadFile(Local + "a/b/dl/trap/ok.bin"), "fine");
  EXPECT_THAT(hostile.Err,
              AllOf(HasSubstr("Refused the server's name trap/../../..: "),
                    HasSubstr("Refused the server's name trap/a/b: "), Not(HasSubstr("\x1b"))));
  // Left-alone names keep the folders from being alike, the second time too.
  Cli(1, "mirror " + Url + "trap " + Local + "a/b/m");
  EXPECT_THAT(Cli(1, "mirror " + Url + "trap " + Local + "a/b/m").Err,
              AllOf(HasSubstr("../escape.txt left alone: not a usable name"),
                    Not(HasSubstr("up to date"))));
  Cli(1, "--delete mirror " + Local + "a/b/m " + Url + "trap");
  EXPECT_EQ(Tree(Local + "a/b/m"), (std::map<std::string, std::string>{{"ok.bin", "fine"}}));
  for (const char* name :
       {"a/b/escape.txt", "a/escape.txt", "escape.txt", "a/b/dl/escape.txt", "a/b/m/escape.txt"}) {
    EXPECT_FALSE(Exists(Local + name)) << name;
  }
  // What the server names reaches the terminal with its control characters made visible.
  const TRun listed = Cli(0, "ls " + Url + "trap/");
  EXPECT_THAT(listed.Out, AllOf(Not(HasSubstr("\x1b")), HasSubstr(" \\x1b]0;PWNED\\x07\n")));

  // A source that is not there (or differs in case) is an error, both ways.
  for (const std::string& args :
       {"-r get " + Url + "Trap " + Local + "dl2", "-r get " + Url + "nothing " + Local + "dl2",
        "-r put " + Local + "nothing " + Url, "get " + Url + ".. " + Local}) {
    Cli(1, args);
  }

  // Skip stays skip for a shorter text file.
  WriteFile(Root + "trap/notes.txt", "first line\nsecond line\n");
  WriteFile(Local + "a/b/dl/trap/notes.txt", "XYZ");
  Cli(1, "--existing skip -r get " + Url + "trap " + Local + "a/b/dl");
  EXPECT_EQ(ReadFile(Local + "a/b/dl/trap/notes.txt"), "XYZ");
}

// A server on ::1 reached from a bracketed address: EPRT announces our port in active mode,
// EPSV asks for the server's in passive mode.
TEST_F(CliTest, ActiveAndPassiveFromABracketedAddress) {
  for (const TServerKind kind : {TServerKind::Pyftpdlib, TServerKind::Vsftpd}) {
    SCOPED_TRACE(ServerName(kind));
    ASSERT_NO_FATAL_FAILURE(Serve(kind, {.Ipv6 = true}));
    if (IsSkipped()) return;
    ASSERT_EQ(Url.find("@[::1]:"), Url.find('@')) << Url;
    WriteFile(Root + "six.txt", "over IPv6");
    for (const bool active : {true, false}) {
      SCOPED_TRACE(active ? "active" : "passive");
      ::unlink((Local + "six.txt").c_str());
      const TRun get = Cli(0, std::string("-v ") + (active ? "--active" : "--passive") + " get " +
                                  Url + "six.txt " + Local);
      EXPECT_EQ(ReadFile(Local + "six.txt"), "over IPv6");
      EXPECT_EQ(get.Err.find("EPRT |2|::1|") != std::string::npos, active) << get.Err;
      EXPECT_EQ(get.Err.find("\nEPSV\n") != std::string::npos, !active) << get.Err;
      EXPECT_THAT(get.Err, Not(HasSubstr("PORT ")));
    }
  }
}

// A server that takes nothing in clear, with a certificate no authority signed: refused, with
// the way to trust it, until trusted; folders then move encrypted.
TEST_F(CliTest, AnUnverifiedCertificateNeedsTrustAndFoldersThenMoveEncrypted) {
  TTlsCertificates certificates;
  ASSERT_TRUE(certificates.Made());
  ASSERT_NO_FATAL_FAILURE(
      Serve(TServerKind::Pyftpdlib, {.Certificate = certificates.File("selfsigned")}));
  fs::create_directories(Root + "pub/sub");
  WriteFile(Root + "pub/sub/b.bin", std::string(70000, 'b'));
  const std::string url = "ftpes://" + Url.substr(6);
  const std::string fingerprint = certificates.Fingerprint("selfsigned");
  EXPECT_THAT(Cli(1, "ls " + url + " </dev/null").Err,
              AllOf(HasSubstr("self-signed certificate"), HasSubstr("--trust " + fingerprint)));
  Cli(0, "--trust " + fingerprint + " -r get " + url + "pub " + Local + "got </dev/null");
  EXPECT_EQ(Tree(Local + "got/pub"), Tree(Root + "pub"));
}

INSTANTIATE_TEST_SUITE_P(Servers, PelmarCli, ::testing::ValuesIn(AllServerKinds()),
                         [](const auto& param) { return ServerName(param.param); });

}  // namespace
}  // namespace pelmar::test
