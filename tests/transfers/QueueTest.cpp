// The transfer queue against real servers and scripted ones: a folder tree four at a time, the
// pool, duplicates, cancelling, failures of every kind, transfer types and names that must not
// reach the disk. (A tree fetched from a server is the kept queue's test.)

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "engine/EngineSettings.h"
#include "settings/Preferences.h"
#include "support/EngineFixture.h"
#include "support/Files.h"
#include "support/RealServerFixture.h"
#include "support/ScriptedFtpServer.h"
#include "transfers/QueueSupport.h"
#include "transfers/TransferQueue.h"
#include "transfers/TreeWalk.h"

namespace pelmar::test {
namespace {

namespace fs = std::filesystem;

class QueueTest : public RealServerFixture {
 protected:
  void SetUp() override {
    RealServerFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    Preferences() = TPreferences();
    Queue = std::make_unique<TTransferItems>(Target);
    // One at a time unless a test says otherwise: tests assert the order of commands.
    Queue->Parallel = 1;
    Queue->OnLog = [this](TFTPComponent&, const std::string& text) { Log.push_back(text); };
  }
  void TearDown() override {
    Queue.reset();
    RealServerFixture::TearDown();
  }
  TTransferItem Template(const TRealFtpServer& server, bool upload) const {
    TTransferItem item;
    item.Server = std::make_shared<const TServer>(TServer{.Host = "127.0.0.1",
                                                          .Port = server.Port(),
                                                          .User = server.User(),
                                                          .Password = server.Password()});
    item.Upload = upload ? 1 : 0;
    return item;
  }
  std::unique_ptr<TTransferItem> FileItem(const TRealFtpServer& server, bool upload,
                                          const std::string& name, int64_t size) const {
    auto item = std::make_unique<TTransferItem>(Template(server, upload));
    item->SourceFolder = upload ? Local : "";
    item->DestFolder = upload ? "" : Local;
    item->FileName = name;
    item->Size = size;
    return item;
  }
  bool RunUntilIdle() {
    return RunUntil(
        [&] { return Queue->CountInState(tsPending) == 0 && Queue->CountInState(tsActive) == 0; });
  }
  std::vector<std::string> States() const {
    std::vector<std::string> states;
    for (int i = 0; i < Queue->Count(); ++i) states.push_back(Queue->Item(i).StatusText());
    return states;
  }

  std::unique_ptr<TTransferItems> Queue;
  std::vector<std::string> Log;
};

TEST_P(QueueTest, AFolderTreeGoesUpFourAtATimeByteForByte) {
  const std::string source = Local + "tree/";
  const size_t sizes[] = {0, 1, 100, 4096, 65537, 300000};
  for (unsigned folder = 0; folder < 6; ++folder) {
    std::string path = source;
    for (unsigned depth = 0; depth <= folder % 3; ++depth)
      path += "d" + std::to_string(folder) + "_" + std::to_string(depth) + "/";
    fs::create_directories(path);
    for (unsigned file = 0; file < 40; ++file) {
      WriteFile(path + "f" + std::to_string(file) + (file % 5 == 0 ? ".txt" : ".bin"),
                RandomBytes(sizes[file % std::size(sizes)], folder * 40 + file));
    }
  }
  fs::create_directories(source + "empty folder");
  Preferences().TransferMode = 2;  // binary: byte-for-byte comparable
  Queue->Parallel = 4;
  struct TOverlap : ITransferListener {
    void ItemStateChanged(TTransferItem& item) override {
      Most = std::max(Most, item.Owner->CountInState(tsActive));
    }
    int Most = 0;
  } overlap;
  Queue->AddListener(&overlap);

  TLocalFolderLister local;
  TServerDiskLister remote(Server->Root());
  TAlwaysReplace answers;
  TWalk upload(*Queue, local, remote, answers, Template(*Server, true), true);
  const TWalkResult up = upload.Run(Local, "", {"tree"});
  EXPECT_GT(up.Queued, 240);
  ASSERT_TRUE(RunUntilIdle());
  EXPECT_EQ(Queue->CountInState(tsDone), up.Queued) << testing::PrintToString(Log);
  EXPECT_EQ(Tree(Server->Root() + "tree"), Tree(source));
  EXPECT_EQ(Queue->PoolSize(), 4) << "idle connections are kept for the next items";
  EXPECT_EQ(overlap.Most, 4) << "four at a time, never more";
  EXPECT_EQ(Queue->PercentDone(), 100);
  Queue->RemoveListener(&overlap);
}

// One item of every kind in one queue, one at a time: folders made and folders already there,
// types by mode, a lower-case upload, a refused log-on and a name that must not reach the disk.
// Each ends in its own state, and a failure never reaches the next. (Resuming through the
// queue is the kept queue's test; each server's resume is the engine's.)
TEST_P(QueueTest, ItemsOfEveryKindEndInTheirOwnState) {
  EngineSettings().FTPRetries = 1;
  EngineSettings().FTPTimeout = TRealFtpServer::kSlowRefusalMs;
  Preferences().ConfirmLowerCase = true;
  fs::create_directories(Server->Root() + "old");
  WriteFile(Server->Root() + "notes.TXT", "text\n");
  WriteFile(Server->Root() + "data", "bin");
  WriteFile(Local + "MiXed.BIN", "data");
  // A folder upload is finished by its MKD's 257, or by the PWD behind a refused MKD (the
  // folder is there). The PWD of a folder that was made must not be taken for the next one's.
  for (const auto& [parent, name] : {std::pair{"", "new"}, std::pair{"", "old"},
                                     std::pair{"", "new2"}, std::pair{"new/", "old"}}) {
    auto folder = FileItem(*Server, true, name, 0);
    folder->IsFolder = 1;
    folder->DestFolder = parent;
    Queue->Add(folder);
  }
  std::vector<std::unique_ptr<TTransferItem>> items;
  items.push_back(FileItem(*Server, false, "notes.TXT", 5));
  items.push_back(FileItem(*Server, false, "data", 3));
  items.push_back(FileItem(*Server, false, "..", 0));
  items.push_back(FileItem(*Server, true, "MiXed.BIN", 4));
  items.push_back(FileItem(*Server, false, "data", 3));
  TServer wrong = items.back()->Site();
  wrong.User = Server->HasNamedAccount() ? TRealFtpServer::kUser : "nobody";
  wrong.Password = "wrong";
  items.back()->Server = std::make_shared<const TServer>(wrong);
  items.back()->DestFolder = Local + "refused-";
  items.push_back(FileItem(*Server, false, "data", 3));
  items.back()->DestFolder = Local + "after-";
  for (auto& item : items) Queue->Add(item);
  ASSERT_TRUE(
      RunUntil([&] { return Queue->CountInState(tsPending) + Queue->CountInState(tsActive) == 0; },
               std::chrono::milliseconds(2 * TRealFtpServer::kSlowRefusalMs)));
  EXPECT_EQ(States(), (std::vector<std::string>{"Done", "Done", "Done", "Done", "Done", "Done",
                                                "Aborted due to Error", "Done",
                                                "Aborted due to Error", "Done"}));
  EXPECT_TRUE(fs::is_directory(Server->Root() + "new/old"));
  EXPECT_EQ(ReadFile(Server->Root() + "mixed.bin"), "data");
  EXPECT_TRUE(Exists(Local + "MiXed.BIN")) << "the local file keeps its name";
  EXPECT_FALSE(Exists(Local + "refused-data"));
  EXPECT_EQ(ReadFile(Local + "after-data"), "bin");
  ASSERT_NE(Queue->Item(7).Connection, nullptr);
  EXPECT_EQ(Queue->Item(9).Connection, Queue->Item(7).Connection)
      << "the site's connection waits through another site's item and is used again";
  EXPECT_EQ(Queue->PoolSize(), 1) << "the other site's connection is not kept";
  std::vector<std::string> types;
  for (const auto& line : Log) {
    if (line.rfind("TYPE ", 0) == 0) types.push_back(line);
  }
  // Set when it changes, per connection: the upload and the last download go on in binary.
  EXPECT_EQ(types, (std::vector<std::string>{"TYPE A", "TYPE I"}));
  EXPECT_NE(
      std::find(Log.begin(), Log.end(), "\"..\" cannot be a local file name; not transferred"),
      Log.end());
}

// Queues against the scripted server: items "f1", "f2", ... downloaded into Dir.
class ScriptedQueue : public ::testing::Test {
 protected:
  void SetUp() override {
    Preferences() = TPreferences();
    EngineSettings().FTPTimeout = 5000;
    EngineSettings().FTPRetries = 1;
    Dir = ::testing::TempDir() + "pelmar-parallel-" + std::to_string(::getpid()) + "/";
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }
  static TScript LogOn() {
    return TScript().Reply("220 Ready").OnEach({"331 Password", "230 In"}).Probe();
  }
  // A download's opening; the type is set once per connection (`typed`: this one sets it).
  static TScript Opening(bool typed = true) {
    TScript script;
    if (typed) script.On("200 Type set");
    return script.OnEach({"200 PORT ok", "150 Opening"});
  }
  // One download's dialogue; `gate` holds its data until the test opens the gate.
  static TScript& Fetch(TScript& script, const std::string& data, bool gate = false,
                        bool typed = true) {
    script.Then(Opening(typed));
    if (gate) script.Gate();
    return script.SendData(data).Reply("226 Done");
  }
  void Queue(TTransferItems& queue, uint16_t port, int count) {
    for (int i = 1; i <= count; ++i) {
      auto item = std::make_unique<TTransferItem>();
      item->Server = std::make_shared<const TServer>(
          TServer{.Host = "127.0.0.1", .Port = port, .User = "anonymous"});
      item->DestFolder = Dir;
      item->FileName = "f" + std::to_string(i);
      queue.Add(item);
    }
  }
  static size_t Retrs(const TScriptedFtpServer& server) {
    const auto commands = server.Commands();
    return static_cast<size_t>(std::count_if(
        commands.begin(), commands.end(), [](const auto& c) { return c.rfind("RETR ", 0) == 0; }));
  }
  bool RunUntil(const std::function<bool()>& done) { return Target->RunUntil(done, kWait); }
  std::shared_ptr<TPlainEventTarget> Target = std::make_shared<TPlainEventTarget>();
  std::string Dir;
};
using QueueFailures = ScriptedQueue;
using QueueParallel = ScriptedQueue;

// A duplicate of a running or waiting item is refused; another folder is another transfer.
// Cancel All, as the progress window does, ends the running item and every waiting one, and a
// finished item blocks nothing. (Nothing listens on port 1: the first item only starts.)
TEST_F(QueueParallel, DuplicatesAreRefusedWhileRunningOrWaitingOnly) {
  TTransferItems queue(Target);
  std::vector<std::string> messages;
  queue.ShowMessage = [&messages](const std::string& text) { messages.push_back(text); };
  Queue(queue, 1, 2);
  Queue(queue, 1, 2);
  EXPECT_EQ(messages, (std::vector<std::string>{"\"f1\" is already in the transfer queue",
                                                "\"f2\" is already in the transfer queue"}));
  Dir += "sub/";
  Queue(queue, 1, 1);
  ASSERT_EQ(queue.Count(), 3) << "another folder is another transfer";
  EXPECT_EQ(queue.Item(0).State, tsActive);
  queue.CancelAll();
  ASSERT_TRUE(
      RunUntil([&] { return queue.CountInState(tsPending) + queue.CountInState(tsActive) == 0; }));
  EXPECT_EQ(queue.CountInState(tsCancelled), 3);
  Queue(queue, 1, 1);
  EXPECT_EQ(queue.Count(), 4) << "finished items block nothing";
  queue.DisconnectAll();
}

// Misbehaving servers and local failures, each on the first of two files: the report of each
// item names that item, every item ends in exactly one state, a failure never reaches the
// item after it, and what may pass (a dropped or reset connection) is tried again on a new
// connection, resuming where that makes sense.
TEST_F(QueueFailures, EachItemEndsOnceWithItsOwnReport) {
  const TScript silent = TScript().WaitClose();  // no greeting ever
  struct TCase {
    const char* Name;
    TScript First;  // the first connection, after the log-on
    TScript Again;  // the second one, before the second file
    const char* FirstState;
    const char* FirstFailure;                 // how FailureLine() starts
    std::optional<std::string> FirstContent;  // the first file afterwards, when there is one
    long FileSizeLimit = 0;                   // RLIMIT_FSIZE while the queue runs; 0: none
    int Retries = 1;                          // log-on attempts
    bool Greets = true;                       // the first connection logs on
  };
  const TCase cases[] = {
      {"refused", TScript().OnEach({"200 Type set", "200 PORT ok", "550 No such file"}).WaitClose(),
       TScript(), "Aborted due to Error", "550 No such file", std::nullopt},
      {"broken off by the server",
       Opening().SendData("half").Reply("451 Transfer aborted: disk full").WaitClose(), TScript(),
       "Aborted due to Error", "451 Transfer aborted: disk full (partial kept: 4 bytes)", "half"},
      {"local file cannot be written",
       Opening().SendData(std::string(5000, 'x')).Reply("226 Done").WaitClose(), TScript(),
       "Aborted due to Error", "Unable to write file ", std::string(1000, 'x'), 1000},
      {"control connection dropped", Opening().SendData("hal").Close(),
       TScript()
           .OnEach({"200 Type set", "213 6", "200 PORT ok", "350 Restarting at 3", "150 Opening"})
           .SendData("f!!")
           .Reply("226 Done"),
       "Done", "", "half!!"},
      {"data connection reset", Opening().DataHold("").ResetData().Reply("226 Done").WaitClose(),
       Opening().SendData("whole").Reply("226 Done"), "Done", "", "whole"},
      {"log-on stalls", silent, TScript(), "Aborted due to Error", "", std::nullopt, 0, 1, false},
      {"log-on stalls once", silent, Opening().SendData("one").Reply("226 Done"), "Done", "", "one",
       0, 2, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EngineSettings().FTPTimeout = 1000;
    EngineSettings().FTPRetries = c.Retries;
    auto target = std::make_shared<TPlainEventTarget>();
    TScript second = LogOn().Then(c.Again);
    Fetch(second, "bee", false, c.Again.Empty()).WaitClose();
    TScriptedFtpServer server({c.Greets ? LogOn().Then(c.First) : c.First, second});
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    std::optional<TFileSizeLimit> full;
    if (c.FileSizeLimit > 0) full.emplace(static_cast<rlim_t>(c.FileSizeLimit));
    {
      TTransferItems queue(target);
      queue.Parallel = 1;  // one script per connection, in order
      Queue(queue, server.Port(), 2);
      ASSERT_TRUE(target->RunUntil(
          [&] { return queue.CountInState(tsPending) + queue.CountInState(tsActive) == 0; },
          kWait));
      full.reset();
      EXPECT_EQ(queue.Item(0).StatusText(), c.FirstState);
      EXPECT_EQ(queue.Item(0).FailureLine().rfind(c.FirstFailure, 0), 0u)
          << queue.Item(0).FailureLine();
      EXPECT_EQ(queue.Item(1).StatusText(), "Done") << queue.Item(1).FailureText;
      EXPECT_EQ(queue.CountInState(tsDone) + queue.CountInState(tsFailed), 2);
      EXPECT_EQ(ReadFile(Dir + "f2"), "bee");
      if (c.FirstContent) {
        EXPECT_EQ(ReadFile(Dir + "f1"), *c.FirstContent);
      } else {
        EXPECT_FALSE(fs::exists(Dir + "f1")) << "no empty or cut-off file looks finished";
      }
      queue.DisconnectAll();
    }
    EXPECT_TRUE(server.WaitDone(kWait));
    const auto commands = server.Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "RETR f2"), 1)
        << testing::PrintToString(commands);
  }
}

// Three at once, and the server turns the third connection away: two RETRs are outstanding
// together, the refused item waits instead of failing, the site runs two at a time from then
// on (no fourth connection), and every file arrives once.
TEST_F(QueueParallel, ARefusedConnectionLowersTheCountAndLosesNothing) {
  std::vector<TScript> scripts;
  for (int connection = 0; connection < 2; ++connection) {
    TScript script = LogOn();
    Fetch(script, "data", true);
    for (int more = 0; more < 4; ++more) Fetch(script, "data", false, false);
    scripts.push_back(script.WaitClose());
  }
  scripts.push_back(TScript().Reply("421 Too many connections from your address").Close());
  TScriptedFtpServer server(scripts, /*concurrently=*/true);
  TTransferItems queue(Target);
  queue.Parallel = 3;
  std::vector<std::string> log;
  queue.OnLog = [&log](TFTPComponent&, const std::string& text) { log.push_back(text); };
  Queue(queue, server.Port(), 5);
  auto refusals = [&log] {
    return std::count_if(log.begin(), log.end(), [](const std::string& line) {
      return line.find("refused another connection") != std::string::npos;
    });
  };
  ASSERT_TRUE(RunUntil([&] { return Retrs(server) == 2 && refusals() == 1; }));
  EXPECT_EQ(queue.CountInState(tsActive), 2);
  EXPECT_EQ(queue.CountInState(tsFailed), 0);
  server.OpenGate();
  ASSERT_TRUE(
      RunUntil([&] { return queue.CountInState(tsPending) + queue.CountInState(tsActive) == 0; }));
  EXPECT_EQ(queue.CountInState(tsDone), 5);
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(ReadFile(Dir + "f" + std::to_string(i)), "data") << i;
  EXPECT_EQ(Retrs(server), 5u) << "each file fetched once";
  EXPECT_EQ(server.Connections(), 3) << "no connection beyond the refused one";
  EXPECT_EQ(refusals(), 1) << "said once";
  queue.DisconnectAll();
}

// Cancelling one of two running items aborts that one only.
TEST_F(QueueParallel, CancellingOneRunningItemLeavesTheOtherRunning) {
  std::vector<TScript> scripts;
  for (int connection = 0; connection < 2; ++connection) {
    TScript script = LogOn();
    script.Then(Opening()).DataHold("who");
    script.Gate().DataMore("le").CloseData().Reply("226 Done");
    scripts.push_back(script.WaitClose());
  }
  TScriptedFtpServer server(scripts, /*concurrently=*/true);
  TTransferItems queue(Target);
  queue.Parallel = 2;
  Queue(queue, server.Port(), 2);
  ASSERT_TRUE(RunUntil([&] { return Retrs(server) == 2; }));
  queue.Cancel(queue.Item(0));
  EXPECT_EQ(queue.Item(0).State, tsCancelled);
  EXPECT_EQ(queue.Item(1).State, tsActive);
  server.OpenGate();
  ASSERT_TRUE(RunUntil([&] { return queue.Item(1).State != tsActive; }));
  EXPECT_EQ(queue.Item(1).State, tsDone) << queue.Item(1).FailureText;
  EXPECT_EQ(ReadFile(Dir + "f2"), "whole");
  EXPECT_EQ(queue.Item(0).State, tsCancelled);
  queue.DisconnectAll();
}

INSTANTIATE_TEST_SUITE_P(Servers, QueueTest, ::testing::ValuesIn(AllServerKinds()),
                         [](const auto& param) { return ServerName(param.param); });

}  // namespace
}  // namespace pelmar::test
