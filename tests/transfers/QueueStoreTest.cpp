// The queue kept on disk: what it keeps and drops, files it cannot use now or ever, how
// interrupted items come back, and a queue process killed mid-way whose next start finishes
// every file intact.

#include "transfers/QueueStore.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "settings/Preferences.h"
#include "support/EngineFixture.h"
#include "support/Files.h"
#include "support/RealFtpServer.h"
#include "transfers/QueueSupport.h"

extern char** environ;

namespace pelmar::test {
namespace {

namespace fs = std::filesystem;

bool OwnerOnly(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && (info.st_mode & 077) == 0;
}

class QueueStore : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    Preferences() = TPreferences();
    Dir = fs::temp_directory_path() / ("pelmar-store-" + std::to_string(::getpid()));
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    Path = (Dir / kQueueFileName).string();
  }
  void TearDown() override {
    EngineTest::TearDown();
    fs::remove_all(Dir);
  }
  std::unique_ptr<TTransferItem> Item(const std::string& name, bool upload = false) const {
    auto item = std::make_unique<TTransferItem>();
    item->Server = std::make_shared<const TServer>(
        TServer{.Host = "ftp.example.org", .Port = 2121, .User = "ann", .Password = "secret"});
    item->SourceFolder = upload ? Dir.string() + "/" : "/pub/";
    item->DestFolder = upload ? "/pub/" : Dir.string() + "/";
    item->FileName = name;
    item->Size = 1000;
    item->Upload = upload;
    return item;
  }
  // Read beside the store that keeps the file (`where` picks rows).
  std::vector<std::string> StoredNames(const std::string& where = "1",
                                       const std::string& column = "file_name") const {
    sqlite3* db = nullptr;
    sqlite3_open_v2(Path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    std::vector<std::string> names;
    sqlite3_exec(
        db, ("SELECT " + column + " FROM transfers WHERE " + where + " ORDER BY row").c_str(),
        [](void* out, int, char** values, char**) {
          static_cast<std::vector<std::string>*>(out)->push_back(values[0]);
          return 0;
        },
        &names, nullptr);
    sqlite3_close(db);
    return names;
  }

  fs::path Dir;
  std::string Path;
};

// Waiting items are kept in the order the person gave them, and come back in it.
TEST_F(QueueStore, KeepsWaitingItemsInOrderWithoutPasswordsAndDropsEndedOnes) {
  TTransferItems queue(Target);
  queue.Parallel = 1;
  {
    TQueueStore store(Path, Target);
    ASSERT_TRUE(store.Usable()) << store.Problem();
    store.Follow(queue);
    for (const char* name : {"a.bin", "b.bin", "c.bin", "d.bin"}) {
      auto item = Item(name);
      queue.Add(item);
    }
    // d to the top, then b and d down past c: the rows read as the queue does.
    ASSERT_TRUE(queue.MoveItems({queue.Item(3).Id}, qmTop));
    ASSERT_TRUE(queue.MoveItems({queue.Item(2).Id, queue.Item(0).Id}, qmDown));
    store.Flush();
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"a.bin", "c.bin", "d.bin", "b.bin"}));
    // An item that ends is written at once, with what waited to be written.
    queue.Cancel(*queue.FindItem(2));  // b
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"a.bin", "c.bin", "d.bin"}));
    queue.Cancel(*queue.FindItem(1));  // a
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"c.bin", "d.bin"}));
    for (const char* suffix : {"", "-wal", "-shm"}) {
      EXPECT_TRUE(OwnerOnly(Path + suffix)) << "queue.sqlite3" << suffix;
    }
  }
  TQueueStore store(Path, Target);
  const auto rows = store.Unfinished();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].FileName, "d.bin");
  EXPECT_EQ(rows[0].FileName, "c.bin");
  EXPECT_EQ(rows[0].Server.Host, "ftp.example.org");
  EXPECT_EQ(rows[0].Server.Port, 2121);
  EXPECT_EQ(rows[0].Server.User, "ann");
  EXPECT_EQ(rows[0].Server.Password, "");
  EXPECT_EQ(ReadFile(Path).find("secret"), std::string::npos);

  // Restored as stopped: shown in the queue, gone from the file.
  TTransferItems next(Target);
  store.Follow(next);
  EXPECT_TRUE(store.Restore(rows[0], "secret", false));
  EXPECT_EQ(next.Item(0).State, tsCancelled);
  EXPECT_EQ(next.Item(0).Site().Password, "secret");
  EXPECT_EQ(store.Unfinished().size(), 1u);
}

TEST_F(QueueStore, AFileItCannotUseIsSetAsideAndANewOneStarted) {
  const auto writeDb = [this](const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(Path.c_str(), &db);
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
  };
  struct TCase {
    const char* what;
    std::function<void()> make;
    bool setAside;
    bool usable = true;
  };
  const TCase cases[] = {
      {"no file", [] {}, false},
      {"an empty file readable by all", [this] { WriteFile(Path, ""); }, false},
      {"text", [this] { WriteFile(Path, std::string(5000, 'x')); }, true},
      {"a cut database",
       [this] {
         { TQueueStore(Path, Target); }
         const std::string whole = ReadFile(Path);
         WriteFile(Path, whole.substr(0, 100));
       },
       true},
      // A later version's queue stays for it, untouched.
      {"a newer version", [&] { writeDb("PRAGMA user_version=99"); }, false, false},
      {"another program's table", [&] { writeDb("CREATE TABLE transfers (x)"); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    c.make();
    TQueueStore store(Path, Target);
    EXPECT_EQ(store.Usable(), c.usable) << store.Problem();
    std::string aside;
    for (const auto& entry : fs::directory_iterator(Dir)) {
      const std::string name = entry.path().filename().string();
      if (name.find(".set-aside-") != std::string::npos && name.find("-wal") == std::string::npos &&
          name.find("-shm") == std::string::npos) {
        aside = entry.path().string();
      }
    }
    EXPECT_EQ(!aside.empty(), c.setAside);
    if (c.setAside) {
      EXPECT_NE(store.Problem().find("set aside as " + aside), std::string::npos)
          << store.Problem();
    }
    if (!c.usable) {
      EXPECT_NE(store.Problem().find("newer Pelmar"), std::string::npos) << store.Problem();
      continue;
    }
    EXPECT_TRUE(OwnerOnly(Path));
    TTransferItems queue(Target);
    store.Follow(queue);
    auto item = Item("after.bin");
    queue.Add(item);
    store.Flush();
    EXPECT_EQ(store.Unfinished().size(), 1u) << "the new file keeps items";
  }

  // A second program keeps its queue in memory: two would continue the same transfers.
  {
    TQueueStore first(Path, Target);
    TQueueStore second(Path, Target);
    EXPECT_TRUE(first.Usable());
    EXPECT_FALSE(second.Usable());
    EXPECT_TRUE(second.InUseElsewhere());
    EXPECT_EQ(second.Unfinished().size(), 0u);
  }
  EXPECT_TRUE(TQueueStore(Path, Target).Usable());

  // A folder that takes no file: the queue stays in memory, and says so.
  fs::permissions(Dir, fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(Dir.c_str(), W_OK) == 0) return;  // root writes anyway
  TQueueStore store((Dir / "sub" / kQueueFileName).string(), Target);
  EXPECT_FALSE(store.Usable());
  EXPECT_NE(store.Problem().find("memory only"), std::string::npos);
  fs::permissions(Dir, fs::perms::owner_all);
}

// A full disk (here: a file size limit) is no damage: the file stays, the queue is kept in
// memory meanwhile, and the next change after space is back writes it all.
TEST_F(QueueStore, AFileThatCannotBeWrittenNowIsKeptAndWrittenLater) {
  std::vector<std::string> told;
  const auto add = [](TTransferItems& queue, std::unique_ptr<TTransferItem> item) {
    queue.Add(item);
  };
  {
    TTransferItems queue(Target);
    TQueueStore store(Path, Target);
    store.Follow(queue);
    add(queue, Item("earlier.bin"));
  }
  {
    TTransferItems queue(Target);
    std::unique_ptr<TQueueStore> store;
    {
      TFileSizeLimit full(0);
      store = std::make_unique<TQueueStore>(Path, Target);
      store->OnLog = [&](const std::string& text) { told.push_back(text); };
      EXPECT_FALSE(store->Usable());
      EXPECT_NE(store->Problem().find("cannot be used now"), std::string::npos) << store->Problem();
      EXPECT_TRUE(store->Unfinished().empty());
      store->Follow(queue);
      add(queue, Item("while-full.bin"));
      store->Flush();
      EXPECT_FALSE(store->Usable());
    }
    add(queue, Item("after.bin"));
    store->Flush();
    EXPECT_TRUE(store->Usable());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("is kept in " + Path + " again"), std::string::npos) << told[0];

    // Full again while the program runs: what failed is written at the next change after.
    told.clear();
    {
      TFileSizeLimit full(0);
      add(queue, Item("late.bin"));
      queue.Cancel(queue.Item(0));
      EXPECT_FALSE(store->Usable());
    }
    add(queue, Item("last.bin"));
    store->Flush();
    EXPECT_TRUE(store->Usable());
    ASSERT_EQ(told.size(), 2u);
    EXPECT_NE(told[0].find("could not be written"), std::string::npos) << told[0];
    EXPECT_NE(told[1].find("written to " + Path + " again"), std::string::npos) << told[1];
  }
  for (const auto& entry : fs::directory_iterator(Dir)) {
    EXPECT_EQ(entry.path().string().find(".set-aside-"), std::string::npos) << entry.path();
  }
  TQueueStore store(Path, Target);
  std::vector<std::string> names;
  for (const auto& row : store.Unfinished()) names.push_back(row.FileName);
  EXPECT_EQ(names, (std::vector<std::string>{"earlier.bin", "after.bin", "late.bin", "last.bin"}));
}

TEST_F(QueueStore, InterruptedItemsComeBackSafely) {
  WriteFile(Dir.string() + "/partial.bin", std::string(400, 'p'));
  WriteFile(Dir.string() + "/whole.bin", std::string(1000, 'w'));
  WriteFile(Dir.string() + "/notes.txt", std::string(400, 't'));
  struct TCase {
    const char* name;
    bool upload, running, inPlace;
    int64_t storedOffset;
    int64_t offset;
  };
  const TCase cases[] = {
      {"partial.bin", false, true, true, 0, 400},      // continued from what is on disk
      {"partial.bin", false, true, false, 0, 0},       // an older file was being replaced
      {"whole.bin", false, true, true, 0, 0},          // as long as the server's: fetched again
      {"notes.txt", false, true, true, 0, 0},          // text: line ends changed its length
      {"missing.bin", false, true, true, 300, 0},      // nothing on disk
      {"partial.bin", false, false, false, 200, 200},  // waiting: the person's choice stays
      {"partial.bin", true, true, false, 100, 0},      // uploads are sent whole again
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.upload ? " up" : " down"));
    TStoredTransfer stored;
    stored.Server.Host = "h";
    stored.DestFolder = Dir.string() + "/";
    stored.FileName = c.name;
    stored.Size = 1000;
    stored.Upload = c.upload;
    stored.Running = c.running;
    stored.InPlace = c.inPlace;
    stored.RestartOffset = c.storedOffset;
    const auto item = RestoredItem(stored, "pw");
    EXPECT_EQ(item->RestartOffset, c.offset);
    EXPECT_EQ(item->Site().Password, "pw");
    EXPECT_EQ(item->State, tsPending);
  }
}

// A damaged file may hold any number in any column: a row whose numbers are out of range is
// left out (with why), never read as a transfer to a wrong port, without TLS or with a
// negative size.
TEST(QueueRow, RowsWithNumbersOutOfRangeAreLeftOut) {
  TStoredRow good;
  good.Host = "h";
  good.Port = 21;
  good.Encryption = enExplicitTls;
  good.FileName = "a.bin";
  good.Size = 1000;
  good.RestartOffset = 2000;  // past the size: the transfer itself says so
  std::string problem;
  ASSERT_TRUE(StoredTransferFromRow(good, problem)) << problem;
  EXPECT_EQ(StoredTransferFromRow(good, problem)->Server.Encryption, enExplicitTls);
  const struct {
    const char* What;
    void (*Damage)(TStoredRow&);
  } cases[] = {
      {"port 0", [](TStoredRow& r) { r.Port = 0; }},
      {"port 65536", [](TStoredRow& r) { r.Port = 65536; }},
      {"port past int", [](TStoredRow& r) { r.Port = int64_t{1} << 32 | 21; }},
      {"encryption 4", [](TStoredRow& r) { r.Encryption = 4; }},
      {"encryption -1", [](TStoredRow& r) { r.Encryption = -1; }},
      {"negative size", [](TStoredRow& r) { r.Size = -9223372036854775807 - 1; }},
      {"negative offset", [](TStoredRow& r) { r.RestartOffset = -1; }},
      {"negative bytes done", [](TStoredRow& r) { r.BytesDone = -1; }},
      {"date NaN", [](TStoredRow& r) { r.FileDate = std::nan(""); }},
  };
  for (const auto& c : cases) {
    TStoredRow row = good;
    c.Damage(row);
    EXPECT_FALSE(StoredTransferFromRow(row, problem)) << c.What;
    EXPECT_FALSE(problem.empty()) << c.What;
  }
}

// The child's half of the kill test: runs a tree download with the queue kept on disk until it
// is killed. Skipped unless the parent test started it.
TEST_F(QueueStore, KilledChild) {
  const char* setting = std::getenv("PELMAR_QUEUE_CHILD");
  if (!setting) GTEST_SKIP() << "run by QueueStore.KilledMidwayAndFinishedOnTheNextStart";
  std::istringstream in(setting);
  std::string db, serverRoot, dest, port;
  std::getline(in, db, '|');
  std::getline(in, serverRoot, '|');
  std::getline(in, dest, '|');
  std::getline(in, port, '|');
  Preferences().TransferMode = 2;
  TTransferItems queue(Target);
  queue.Parallel = 2;
  TQueueStore store(db, Target);
  store.Follow(queue);
  TTransferItem model;
  model.Server = std::make_shared<const TServer>(TServer{
      .Host = "127.0.0.1", .Port = std::stoi(port), .User = "anonymous", .Password = "a@b"});
  TServerDiskLister remote(serverRoot);
  TLocalFolderLister local;
  TAlwaysReplace answers;
  TWalk walk(queue, remote, local, answers, model, false);
  walk.Run("", dest, {"tree"});
  RunUntil([] { return false; }, std::chrono::minutes(2));
}

TEST_F(QueueStore, KilledMidwayAndFinishedOnTheNextStart) {
  if (std::getenv("PELMAR_QUEUE_CHILD")) GTEST_SKIP();
  // Slow enough that the kill finds files done, files half done and files not started: each
  // file takes about a second (the first megabyte or so goes at once, into socket buffers).
  TRealFtpServer server(TServerKind::Pyftpdlib, TServerOptions{.Rate = 1 << 20});
  ASSERT_TRUE(server.Started()) << server.StartError();
  for (int folder = 0; folder < 2; ++folder) {
    const std::string path = server.Root() + "tree/d" + std::to_string(folder) + "/";
    fs::create_directories(path);
    for (int file = 0; file < 3; ++file) {
      WriteFile(path + "f" + std::to_string(file) + ".bin",
                RandomBytes((2 << 20) + static_cast<size_t>(file) * 1000,
                            static_cast<unsigned>(folder * 10 + file)));
    }
  }
  const std::string dest = Dir.string() + "/dest/";
  fs::create_directories(dest);
  const std::string setting =
      Path + "|" + server.Root() + "|" + dest + "|" + std::to_string(server.Port());
  const std::string env = "PELMAR_QUEUE_CHILD=" + setting;
  std::vector<char*> envp;
  for (char** e = environ; *e; ++e) envp.push_back(*e);
  envp.push_back(const_cast<char*>(env.c_str()));
  envp.push_back(nullptr);
  std::string self = fs::read_symlink("/proc/self/exe").string();
  std::string filter = "--gtest_filter=QueueStore.KilledChild";
  char* argv[] = {self.data(), filter.data(), nullptr};
  pid_t child = 0;
  ASSERT_EQ(::posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, envp.data()), 0);

  // Killed once some files are complete and another is half there, its run written down.
  const auto partialAndKept = [&] {
    for (const std::string& path :
         StoredNames("running AND in_place", "dest_folder || file_name")) {
      const int64_t size = SizeOf(path);
      if (size > 0 && size < SizeOf(server.Root() + path.substr(dest.size()))) return true;
    }
    return false;
  };
  const auto complete = [&] {
    int count = 0;
    for (int folder = 0; folder < 2; ++folder) {
      for (int file = 0; file < 3; ++file) {
        const std::string name =
            "tree/d" + std::to_string(folder) + "/f" + std::to_string(file) + ".bin";
        count += SizeOf(dest + name) == SizeOf(server.Root() + name);
      }
    }
    return count;
  };
  // Nothing here posts events: a timer wakes the loop to look at the folder.
  const int poll = Target->StartTimer(20, [] {});
  const bool someDone =
      RunUntil([&] { return complete() >= 2 && partialAndKept(); }, std::chrono::seconds(60));
  Target->KillTimer(poll);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(someDone);
  ASSERT_LT(complete(), 6) << "the server was too quick to kill the queue mid-way";

  TTransferItems queue(Target);
  queue.Parallel = 2;
  Preferences().TransferMode = 2;
  TQueueStore store(Path, Target);
  EXPECT_EQ(store.Problem(), "");
  store.Follow(queue);
  const auto rows = store.Unfinished();
  ASSERT_FALSE(rows.empty());
  for (const auto& row : rows) EXPECT_TRUE(store.Restore(row, "a@b", true));
  bool resumed = false;
  for (int i = 0; i < queue.Count(); ++i) resumed |= queue.Item(i).RestartOffset > 0;
  EXPECT_TRUE(resumed) << "a half-done file continues where it stopped";
  queue.StartNext();
  ASSERT_TRUE(RunUntil(
      [&] { return queue.CountInState(tsPending) == 0 && queue.CountInState(tsActive) == 0; },
      std::chrono::seconds(60)));
  EXPECT_EQ(queue.CountInState(tsDone), queue.Count());
  EXPECT_EQ(Tree(dest + "tree"), Tree(server.Root() + "tree"));
  store.Flush();
  EXPECT_TRUE(store.Unfinished().empty());
}

}  // namespace
}  // namespace pelmar::test
