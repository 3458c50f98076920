// The queue kept on disk: what it keeps and drops, files it cannot use now or ever, how
// interrupted items come back, and a queue process killed mid-way whose next start finishes
// every file intact.

#include "transfers/QueueStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <optional>

#include "settings/Preferences.h"
#include "support/EngineFixture.h"
#include "support/Files.h"
#include "support/RealFtpServer.h"
#include "transfers/QueueSupport.h"

namespace pelmar::test {
namespace {

namespace fs = std::filesystem;

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
  // Adds a download of /pub/`name` into Dir; from an SFTP server when `keyFile` is given.
  void Add(TTransferItems& queue, const std::string& name, const std::string& keyFile = "") const {
    auto item = std::make_unique<TTransferItem>();
    item->Server =
        std::make_shared<const TServer>(TServer{.Host = "ftp.example.org",
                                                .Port = 2121,
                                                .User = "ann",
                                                .Password = "secret",
                                                .Protocol = keyFile.empty() ? prFtp : prSftp,
                                                .KeyFile = keyFile});
    item->SourceFolder = "/pub/";
    item->DestFolder = Dir.string() + "/";
    item->FileName = name;
    item->Size = 1000;
    queue.Add(item);
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

  // The file set aside in Dir ("" when none).
  std::string SetAside() const {
    for (const auto& entry : fs::directory_iterator(Dir)) {
      const std::string path = entry.path().string();
      if (path.find(".set-aside-") != std::string::npos && !path.ends_with("-wal") &&
          !path.ends_with("-shm")) {
        return path;
      }
    }
    return "";
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
    // c comes from an SFTP server, with a key file of its own.
    for (const char* name : {"a.bin", "b.bin", "c.bin", "d.bin"}) {
      Add(queue, name, name[0] == 'c' ? "/home/ann/.ssh/id work" : "");
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
      EXPECT_EQ(ModeOf(Path + suffix), 0600u) << "queue.sqlite3" << suffix;
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
  EXPECT_EQ(rows[0].Server.Protocol, prSftp);
  EXPECT_EQ(rows[0].Server.KeyFile, "/home/ann/.ssh/id work");
  EXPECT_EQ(rows[1].Server.Protocol, prFtp);
  EXPECT_EQ(ReadFile(Path).find("secret"), std::string::npos);

  // Restored as stopped: shown in the queue, gone from the file.
  TTransferItems next(Target);
  store.Follow(next);
  EXPECT_TRUE(store.Restore(rows[0], "secret", false));
  EXPECT_EQ(next.Item(0).State, tsCancelled);
  EXPECT_EQ(next.Item(0).Site().Password, "secret");
  EXPECT_EQ(store.Unfinished().size(), 1u);
}

// A file SQLite proves damaged (or another program's) is set aside, named, and a new one
// started; one of a newer Pelmar, or kept by another Pelmar running, is left alone and the
// queue kept in memory.
TEST_F(QueueStore, AFileItCannotUseIsSetAsideOrLeftAlone) {
  const auto writeDb = [this](const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(Path.c_str(), &db);
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
  };
  std::optional<TQueueStore> running;
  struct TCase {
    const char* What;
    std::function<void()> Make;
    bool SetAside;
    const char* Problem = nullptr;  // what Problem() says of a store kept in memory
    size_t Kept = 0;                // items the file held before
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
      {"another program's table", [&] { writeDb("CREATE TABLE transfers (x)"); }, true},
      {"a newer version", [&] { writeDb("PRAGMA user_version=99"); }, false, "newer Pelmar"},
      // Two programs would continue the same transfers.
      {"kept by another Pelmar", [&] { running.emplace(Path, Target); }, false,
       "Another Pelmar keeps the transfer queue"},
      // The first version's queue, from before SFTP: its items are FTP items.
      {"a first version's queue",
       [&] {
         writeDb(
             "PRAGMA user_version=1; CREATE TABLE transfers (row INTEGER PRIMARY KEY, host TEXT "
             "NOT NULL, port INTEGER NOT NULL, user TEXT NOT NULL, account TEXT NOT NULL, "
             "encryption INTEGER NOT NULL, upload INTEGER NOT NULL, folder INTEGER NOT NULL, "
             "source_folder TEXT NOT NULL, dest_folder TEXT NOT NULL, file_name TEXT NOT NULL, "
             "dest_root TEXT NOT NULL, size INTEGER NOT NULL, modified REAL NOT NULL, "
             "restart_offset INTEGER NOT NULL, bytes_done INTEGER NOT NULL, running INTEGER "
             "NOT NULL, in_place INTEGER NOT NULL); INSERT INTO transfers VALUES (1, 'h', 21, "
             "'u', '', 1, 0, 0, '/pub/', '/tmp/', 'old.bin', '', 5, 0, 0, 0, 0, 0);");
       },
       false, nullptr, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    c.Make();
    TQueueStore store(Path, Target);
    const std::string aside = SetAside();
    EXPECT_EQ(!aside.empty(), c.SetAside);
    if (c.SetAside) {
      EXPECT_NE(store.Problem().find("set aside as " + aside), std::string::npos)
          << store.Problem();
    }
    if (c.Problem) {
      EXPECT_FALSE(store.Usable());
      EXPECT_NE(store.Problem().find(c.Problem), std::string::npos) << store.Problem();
      EXPECT_TRUE(store.Unfinished().empty());
      running.reset();
      continue;
    }
    EXPECT_TRUE(store.Usable()) << store.Problem();
    EXPECT_EQ(ModeOf(Path), 0600u);
    TTransferItems queue(Target);
    store.Follow(queue);
    Add(queue, "after.bin");
    store.Flush();
    const auto rows = store.Unfinished();
    ASSERT_EQ(rows.size(), 1 + c.Kept) << "the file keeps items";
    if (c.Kept) {
      EXPECT_EQ(rows[0].FileName, "old.bin");
      EXPECT_EQ(rows[0].Server.Protocol, prFtp);
      EXPECT_EQ(rows[0].Server.Encryption, enExplicitTls);
    }
  }
  EXPECT_TRUE(TQueueStore(Path, Target).Usable()) << "the lock goes with the store that held it";
}

// A full disk (here: a file size limit) is no damage: the file stays, the queue is kept in
// memory meanwhile, and the next change after space is back writes it all.
TEST_F(QueueStore, AFileThatCannotBeWrittenNowIsKeptAndWrittenLater) {
  std::vector<std::string> told;
  {
    TTransferItems queue(Target);
    TQueueStore store(Path, Target);
    store.Follow(queue);
    Add(queue, "earlier.bin");
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
      Add(queue, "while-full.bin");
      store->Flush();
      EXPECT_FALSE(store->Usable());
    }
    Add(queue, "after.bin");
    store->Flush();
    EXPECT_TRUE(store->Usable());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("is kept in " + Path + " again"), std::string::npos) << told[0];

    // Full again while the program runs: what failed is written at the next change after.
    told.clear();
    {
      TFileSizeLimit full(0);
      Add(queue, "late.bin");
      queue.Cancel(queue.Item(0));
      EXPECT_FALSE(store->Usable());
    }
    Add(queue, "last.bin");
    store->Flush();
    EXPECT_TRUE(store->Usable());
    ASSERT_EQ(told.size(), 2u);
    EXPECT_NE(told[0].find("could not be written"), std::string::npos) << told[0];
    EXPECT_NE(told[1].find("written to " + Path + " again"), std::string::npos) << told[1];
  }
  EXPECT_EQ(SetAside(), "");
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
      {"protocol 2", [](TStoredRow& r) { r.Protocol = 2; }},
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

// A queue process killed mid-way (a child of the test, downloading a tree with its queue kept
// on disk): the next start finishes every file intact.
TEST_F(QueueStore, KilledMidwayAndFinishedOnTheNextStart) {
  // Slow enough that the kill finds files done, files half done and files not started: each
  // file takes about a second (the first megabyte or so goes at once, into socket buffers).
  TRealFtpServer server(TServerKind::Pyftpdlib, TServerOptions{.Rate = 1 << 20});
  ASSERT_TRUE(server.Started()) << server.StartError();
  std::vector<std::string> names;  // below the served folder and the destination alike
  for (unsigned n = 0; n < 6; ++n) {
    names.push_back("tree/d" + std::to_string(n / 3) + "/f" + std::to_string(n % 3) + ".bin");
    fs::create_directories(server.Root() + "tree/d" + std::to_string(n / 3));
    WriteFile(server.Root() + names.back(), RandomBytes((2 << 20) + n % 3 * 1000, n));
  }
  const std::string dest = Dir.string() + "/dest/";
  fs::create_directories(dest);
  Preferences().TransferMode = 2;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TTransferItems queue(Target);
    queue.Parallel = 2;
    TQueueStore store(Path, Target);
    store.Follow(queue);
    TTransferItem model;
    model.Server = std::make_shared<const TServer>(TServer{
        .Host = "127.0.0.1", .Port = server.Port(), .User = "anonymous", .Password = "a@b"});
    TServerDiskLister remote(server.Root());
    TLocalFolderLister local;
    TAlwaysReplace answers;
    TWalk(queue, remote, local, answers, model, false).Run("", dest, {"tree"});
    RunUntil([] { return false; }, std::chrono::minutes(2));
    ::_exit(0);  // never the test's own end: that would stop the server
  }

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
    return std::count_if(names.begin(), names.end(), [&](const std::string& name) {
      return SizeOf(dest + name) == SizeOf(server.Root() + name);
    });
  };
  // Nothing here posts events: a timer wakes the loop to look at the folder.
  const int poll = Target->StartTimer(20, [] {});
  const bool someDone =
      RunUntil([&] { return complete() >= 2 && partialAndKept(); }, std::chrono::seconds(60));
  Target->KillTimer(poll);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ASSERT_TRUE(someDone);
  ASSERT_LT(complete(), 6) << "the server was too quick to kill the queue mid-way";

  TTransferItems queue(Target);
  queue.Parallel = 2;
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
