// The folder walk: what it queues, which folders it refuses to enter (links back into the walk,
// the depth limit) and what it does with folders it cannot list.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>

#include <filesystem>

#include "listing/RemoteItem.h"
#include "settings/Preferences.h"
#include "support/EngineFixture.h"
#include "support/Files.h"
#include "transfers/QueueSupport.h"
#include "transfers/TransferQueue.h"
#include "transfers/TreeWalk.h"

namespace pelmar::test {
namespace {

namespace fs = std::filesystem;

TEST(LinkLeadsUpward, Targets) {
  const struct {
    const char* Folder;
    const char* Target;
    bool Upward;
  } cases[] = {
      // "." , ".." and absolute parents are covered by the walk below; these are the rest.
      {"/home/u/tree/", "../..", true},
      {"/home/u/tree/", "sub/../..", true},
      {"/home/u/tree/", "/home/u/tree/", true},
      {"/home/u/tree/", "../other", false},
      {"/home/u/tree/", "/home/u/tree2", false},
      {"/home/u/tree/", "/home/u/tree/sub", false},
      {"/home/u/tree/", "", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LinkLeadsUpward(c.Folder, c.Target), c.Upward) << c.Folder << " + " << c.Target;
  }
}

class TreeWalkTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    Preferences() = TPreferences();
    // The queue starts its first item at once; nothing listens there and no event is run.
    Template.Server = std::make_shared<const TServer>(TServer{.Host = "127.0.0.1", .Port = 1});
    Queue = std::make_unique<TTransferItems>(Target);
  }
  void TearDown() override {
    Queue.reset();
    EngineTest::TearDown();
  }
  // "folder/name" of every queued item, folders with a trailing "/".
  std::vector<std::string> Queued() const {
    std::vector<std::string> paths;
    for (int i = 0; i < Queue->Count(); ++i) {
      const TTransferItem& item = Queue->Item(i);
      paths.push_back(item.IsFolder ? item.DestFolder + item.FileName + "/"
                                    : item.SourceFolder + item.FileName);
    }
    return paths;
  }

  std::unique_ptr<TTransferItems> Queue;
  TTransferItem Template;
  TAlwaysReplace Answers;
  std::vector<std::string> Log;
};

// Listed entries as the walk takes them, in the panes and pelmar-cli alike: a link to what
// looks like a folder is walked as one (the panes skipped it as a folder they could not open).
TEST(RemoteWalkEntry, LinksByTheirOwnNameAndFoldersByTheirLook) {
  const struct {
    const char* Listed;
    uint16_t Attributes;
    const char* Name;
    bool Folder;
    bool Link;
  } cases[] = {
      {"www -> /home/www", iaLink, "www", true, true},
      {"notes -> notes.txt", iaLink, "notes", false, true},
      {"pub", iaFolder, "pub", true, false},
      {"a -> b.txt", 0, "a -> b.txt", false, false},  // a plain file may hold " -> "
  };
  for (const auto& c : cases) {
    const TWalkEntry entry = RemoteWalkEntry(c.Listed, c.Attributes, 1, 0);
    EXPECT_EQ(entry.Name, c.Name) << c.Listed;
    EXPECT_EQ(entry.IsFolder, c.Folder) << c.Listed;
    EXPECT_EQ(entry.IsLink, c.Link) << c.Listed;
  }
}

// A listing's exact time (MLSD) spares the download its MDTM, but only where the local time it
// was turned into stands for one instant: the hour repeated when the clocks go back does not.
TEST(RemoteWalkEntry, AnExactListedTimeIsKeptOnlyWhereItMeansOneInstant) {
  const std::string zone = std::getenv("TZ") ? std::getenv("TZ") : "";
  ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  ::tzset();
  const struct {
    std::time_t Instant;
    uint16_t Attributes;
    int64_t Expected;
  } cases[] = {
      {1782907200, iaExactTime, 1782907200},  // 2026-07-01 14:00 summer time
      {1792888200, iaExactTime, -1},          // 2026-10-25 02:30, which comes twice
      {1782907200, 0, -1},                    // a LIST time: to the minute, in the server's zone
      {1782907200, iaExactTime | iaFolder, -1},
  };
  for (const auto& c : cases) {
    const TWalkEntry entry = RemoteWalkEntry("f", c.Attributes, 1, DateTimeFromTimeT(c.Instant));
    EXPECT_EQ(entry.ServerTime, c.Expected) << c.Instant << " " << c.Attributes;
  }
  if (zone.empty()) {
    ::unsetenv("TZ");
  } else {
    ::setenv("TZ", zone.c_str(), 1);
  }
  ::tzset();
}

TEST_F(TreeWalkTest, RemoteLinksAreEnteredUnlessTheyLeadBack) {
  TMapLister remote;
  TMapLister local;  // nothing there
  remote.Folders[""] = {Folder("tree")};
  remote.Folders["tree/"] = {
      File("a -> b"),
      Link("copy.bin", "real/x.bin", false),
      Folder("real"),
      Link("alias", "real", true),
      Link("self", ".", true),
      Link("up", "..", true),
      Link("home", "/home/u", true),
      Link("gone", "nowhere", true),
  };
  remote.Folders["tree/real/"] = {File("x.bin")};
  remote.Folders["tree/alias/"] = {File("x.bin")};
  TWalk walk(*Queue, remote, local, Answers, Template, true);
  walk.Log = [&](const std::string& line) { Log.push_back(line); };
  const TWalkResult result = walk.Run("", "/dest/", {"tree"});

  EXPECT_EQ(Queued(), (std::vector<std::string>{"/dest/tree/", "tree/a -> b", "tree/copy.bin",
                                                "/dest/tree/real/", "tree/real/x.bin",
                                                "/dest/tree/alias/", "tree/alias/x.bin"}));
  EXPECT_EQ(result.Loops, (std::vector<std::string>{"tree/self/", "tree/up/", "tree/home/"}));
  ASSERT_EQ(result.Unlisted.size(), 1u);
  EXPECT_EQ(result.Unlisted[0].Folder, "tree/gone/");
  EXPECT_EQ(result.Unlisted[0].Reason, "550 No such directory");
  EXPECT_EQ(Log.size(), 3u);
  EXPECT_EQ(Log[0],
            "Skipped folder tree/self/: the link to \".\" leads back into the folders walked");
  for (const auto& folder : remote.Listed) {
    EXPECT_EQ(folder.find("self"), std::string::npos) << "a loop is never even listed";
  }
}

// Names from the server that would put files outside the destination: each is reported as a
// failed item with a log line, and no folder of such a name is ever listed or entered. "." and
// ".." are the listing's own entries for the folder and its parent and are passed over.
TEST_F(TreeWalkTest, ServerNamesThatLeaveTheDestinationAreRefused) {
  TMapLister remote;
  TMapLister local;  // nothing there
  const std::vector<std::string> hostile = {"../../..", "x/../../..",           "a/b",
                                            "/etc",     std::string("n\0l", 3), ""};
  remote.Folders[""] = {Folder("tree")};
  remote.Folders["tree/"] = {Folder("."), Folder(".."), File("ok.bin")};
  for (const auto& name : hostile) {
    remote.Folders["tree/"].push_back(Folder(name));
    remote.Folders["tree/"].push_back(File(name + "f"));
    remote.Folders["tree/" + name + "/"] = {File("PWNED.txt")};
  }
  TWalk walk(*Queue, remote, local, Answers, Template, true);
  walk.Log = [&](const std::string& line) { Log.push_back(line); };
  const TWalkResult result = walk.Run("", "/dest/", {"tree"});

  EXPECT_EQ(remote.Listed, (std::vector<std::string>{"", "tree/"}));
  EXPECT_EQ(result.Queued, 3);  // the folder, ok.bin and "f"
  EXPECT_EQ(result.Refused, static_cast<int>(2 * hostile.size() - 1));  // "" + "f" is safe
  EXPECT_EQ(static_cast<int>(Log.size()), result.Refused);
  int refused = 0;
  for (int i = 0; i < Queue->Count(); ++i) {
    const TTransferItem& item = Queue->Item(i);
    EXPECT_NE(item.FileName, "PWNED.txt");
    // (The folder item itself fails too: "/dest/" does not exist here.)
    if (item.FailureText.rfind("Refused the server's name tree/", 0) == 0) {
      EXPECT_EQ(item.State, tsFailed);
      ++refused;
    }
  }
  EXPECT_EQ(refused, result.Refused);
}

// "Yes to All" is offered only where more files of the command may ask the same.
TEST_F(TreeWalkTest, OneFileAloneIsAskedWithoutAnswersToAll) {
  TMapLister remote;
  TMapLister local;
  TWalkEntry there = File("a");
  there.Size = 5;  // larger than the server's: the replace question
  remote.Folders[""] = {File("a"), File("b"), Folder("f")};
  remote.Folders["f/"] = {File("a")};
  local.Folders["/dest/"] = {there, File("b")};
  local.Folders["/dest/f/"] = {there};
  const struct {
    std::vector<std::string> Selection;
    std::vector<bool> OfferedAll;
  } cases[] = {{{"a"}, {false}}, {{"a", "b"}, {true, true}}, {{"f"}, {true}}};
  for (const auto& c : cases) {
    Answers.OfferedAll.clear();
    TWalk walk(*Queue, remote, local, Answers, Template, true);
    walk.Run("", "/dest/", c.Selection);
    EXPECT_EQ(Answers.OfferedAll, c.OfferedAll) << c.Selection.size();
  }
}

// The queue checks every download's destination as well: a folder below the command's
// destination is made of plain names only.
TEST(DestinationProblem, FoldersBelowTheRootAreMadeOfPlainNames) {
  const struct {
    const char* Folder;
    bool Refused;
  } cases[] = {
      {"/dl/", false},   {"/dl/a/b/", false},    {"/dl/a b/..x/", false},
      {"/dl/../", true}, {"/dl/a/../../", true}, {"/dl/./", true},
      {"/dl//", true},   {"/elsewhere/", true},  {"/d/", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(!DestinationProblem("/dl/", c.Folder).empty(), c.Refused) << c.Folder;
  }
  EXPECT_TRUE(DestinationProblem("", "/any/../where/").empty()) << "no root: nothing to check";
}

TEST_F(TreeWalkTest, NoDeeperThanTheLimit) {
  TMapLister remote;
  TMapLister local;  // nothing there
  // Every level holds a link to a folder of the next level: an endless chain of links
  // ("d" -> "../loop/d" and so on) that no textual rule can see through.
  std::string folder;
  for (int level = 0; level < kMaxWalkDepth + 5; ++level) {
    remote.Folders[folder] = {Link("d", "../x/d", true)};
    folder += "d/";
  }
  TWalk walk(*Queue, remote, local, Answers, Template, true);
  const TWalkResult result = walk.Run("", "/dest/", {"d"});
  EXPECT_EQ(result.Queued, kMaxWalkDepth);
  EXPECT_EQ(result.Skipped, 1) << "the folder not entered counts";
  ASSERT_EQ(result.TooDeep.size(), 1u);
  EXPECT_EQ(std::count(result.TooDeep[0].begin(), result.TooDeep[0].end(), '/'), kMaxWalkDepth + 1);
}

// ... and pipes and devices are never queued: reading one would wait for ever.
TEST_F(TreeWalkTest, LocalLinksNeverWalkAFolderTwice) {
  const std::string root = ::testing::TempDir() + "pelmar-walk-" + std::to_string(::getpid()) + "/";
  fs::remove_all(root);
  fs::create_directories(root + "tree/real/inner");
  WriteFile(root + "tree/real/x.bin", "x");
  fs::create_directory_symlink(".", root + "tree/self");
  fs::create_directory_symlink("..", root + "tree/real/inner/up");
  fs::create_directory_symlink("real", root + "tree/alias");
  fs::create_directory_symlink(root + "elsewhere", root + "tree/out");
  fs::create_directories(root + "elsewhere");
  WriteFile(root + "elsewhere/e.bin", "e");
  ASSERT_EQ(::mkfifo((root + "tree/real/pipe").c_str(), 0600), 0);
  fs::create_symlink("pipe", root + "tree/real/to-pipe");
  fs::create_symlink("/dev/null", root + "tree/real/null");

  TLocalFolderLister local;
  TMapLister remote;  // nothing there
  TWalk walk(*Queue, local, remote, Answers, Template, true);
  const TWalkResult result = walk.Run(root, "/dest/", {"tree"});
  EXPECT_EQ(Queued(), (std::vector<std::string>{"/dest/tree/", "/dest/tree/real/",
                                                root + "tree/real/x.bin", "/dest/tree/real/inner/",
                                                "/dest/tree/out/", root + "tree/out/e.bin"}));
  EXPECT_EQ(result.Loops, (std::vector<std::string>{root + "tree/real/inner/up/",
                                                    root + "tree/alias/", root + "tree/self/"}));
  EXPECT_EQ(result.Skipped, 6) << "three pipes or devices, three folders not entered";
  fs::remove_all(root);
}

}  // namespace
}  // namespace pelmar::test
