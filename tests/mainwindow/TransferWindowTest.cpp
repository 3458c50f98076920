// The transfer progress window and the transfer manager: Skip and Cancel, the figures, the
// notices at the end of a batch (one whose last item fails too) and the manager's commands;
// against real and scripted servers. (The texts: ProgressTextsTest.)

#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <map>

#include <unistd.h>

#include "settings/Preferences.h"
#include "support/Files.h"
#include "support/RealFtpServer.h"
#include "support/ScriptedFtpServer.h"
#include "transfers/ProgressTexts.h"
#include "transfers/TransferQueue.h"
#include "transfers/qt/FailedTransfers.h"
#include "transfers/qt/TransferListModel.h"
#include "transfers/qt/TransferManager.h"
#include "transfers/qt/TransferWindow.h"
#include "ui/QtText.h"
#include "views/qt/PaneFixture.h"

namespace pelmar::test {
namespace {

namespace fs = std::filesystem;

class TRecordingHost : public ITransferWindowHost {
 public:
  void SetStatusLine(const QString& text) override { Status = text; }
  void AppendToLog(const QString&) override {}
  void SetTransferConnected(bool) override {}
  void EndOfFile() override { ++FileNotices; }
  void EndOfAll() override { ++AllNotices; }
  void ShowActivity() override {}
  QString Status;
  int FileNotices = 0;
  int AllNotices = 0;
};

class TransferWindowTest : public PaneTest {
 protected:
  void SetUp() override {
    PaneTest::SetUp();
    Preferences() = TPreferences();
    Queue = std::make_unique<TTransferItems>(Target);
    Queue->Parallel = 1;  // these scenarios follow one running item
    Window = std::make_unique<TfrmTransfer>(*Queue, Host);
  }
  void TearDown() override {
    Window.reset();
    Queue.reset();
    PaneTest::TearDown();
  }
  // A download of `name` from the server's root into `dest`, queued; returns the item.
  TTransferItem& Download(const TRealFtpServer& server, const std::string& name,
                          const std::string& dest, int64_t from = 0) {
    auto item = std::make_unique<TTransferItem>();
    item->Server = std::make_shared<const TServer>(TServer{.Host = "127.0.0.1",
                                                           .Port = server.Port(),
                                                           .User = server.User(),
                                                           .Password = server.Password()});
    item->SourceFolder = "/";
    item->FileName = name;
    item->DestFolder = dest;
    item->Size = static_cast<int64_t>(fs::file_size(server.Root() + name));
    item->RestartOffset = from;
    TTransferItem& queued = *item;
    Queue->Add(item);
    return queued;
  }
  std::unique_ptr<TTransferItems> Queue;
  TRecordingHost Host;
  std::unique_ptr<TfrmTransfer> Window;
};

// Skip while two files run: a press with none chosen skips the one running (never a finished
// one shown before), a press after choosing one in the list skips that one. Each is named
// skipped and partial, stops growing, and leaves the batch's figures; the next items take
// their places, one of them resumed past its middle, whose figures count what is on disk.
// Escape (Cancel) then stops the rest, and the batch's status names the skipped.
TEST_F(TransferWindowTest, SkipStopsOneRunningFileAndCancelTheRest) {
  TRealFtpServer server(TServerKind::Pyftpdlib);
  ASSERT_TRUE(server.Started()) << server.StartError();
  for (const char* name : {"b0", "b1", "b2"}) {
    WriteFile(server.Root() + name, "");
    ASSERT_EQ(::truncate((server.Root() + name).c_str(), int64_t{1} << 32), 0);
  }
  WriteFile(server.Root() + "small", "s");
  const std::string local = server.Root() + "../local/";
  fs::create_directories(local);
  const int64_t from = (int64_t{1} << 32) / 4 * 3;
  WriteFile(local + "3-b2", "");
  ASSERT_EQ(::truncate((local + "3-b2").c_str(), from), 0);
  TTransferListModel manager(*Queue);
  Queue->Parallel = 2;
  std::vector<TTransferItem*> items;
  for (const char* name : {"small", "b0", "b1", "b2", "small"}) {
    const bool resumed = items.size() == 3;
    items.push_back(
        &Download(server, name, local + std::to_string(items.size()) + "-", resumed ? from : 0));
  }
  ASSERT_TRUE(RunUntil([&] {
    return items[0]->State == tsDone && items[1]->BytesDone > 0 && items[2]->BytesDone > 0;
  }));
  Window->show();
  auto* list = Window->findChild<QTreeView*>("lvRunning");
  ASSERT_EQ(list->model()->rowCount(), 2);
  auto* skip = Window->findChild<QPushButton*>("btnSkip");
  ASSERT_TRUE(RunUntil([&] { return skip->isEnabled(); }));
  skip->click();
  ASSERT_EQ(items[1]->State == tsCancelled, items[2]->State == tsActive) << "one press, one file";
  TTransferItem& first = items[1]->State == tsCancelled ? *items[1] : *items[2];
  TTransferItem& second = &first == items[1] ? *items[2] : *items[1];
  ASSERT_EQ(second.State, tsActive);

  ASSERT_TRUE(RunUntil([&] { return items[3]->BytesDone > 0 && skip->isEnabled(); }));
  const QModelIndex chosen =
      list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, Q(second.FileName))[0];
  list->setCurrentIndex(chosen);
  EXPECT_EQ(Window->CurrentItem(), &second);
  skip->click();
  EXPECT_EQ(second.State, tsCancelled);
  EXPECT_EQ(items[3]->State, tsActive);
  ASSERT_TRUE(RunUntil([&] { return items[4]->State == tsDone; })) << "the next took over";

  QStringList notes;
  std::vector<int64_t> sizes;
  for (TTransferItem* item : {&first, &second}) {
    EXPECT_GT(item->PartialBytes, 0);
    EXPECT_LT(item->PartialBytes, item->Size);
    const QString named = Q(SkippedText(item->PartialBytes, item->Size));
    EXPECT_TRUE(named.startsWith("Skipped (partial: ")) << named.toStdString();
    EXPECT_EQ(manager.StatusAt(item == items[1] ? 1 : 2), named);
    notes << Q(item->FileName) + ": " + named;
    sizes.push_back(SizeOf(item->DestFolder + item->FileName));
    EXPECT_GE(sizes.back(), item->PartialBytes);
  }
  const int64_t running = items[3]->BytesDone;
  ASSERT_TRUE(RunUntil([&] { return items[3]->BytesDone > running + (int64_t{64} << 20); }));
  EXPECT_EQ(SizeOf(first.DestFolder + first.FileName), sizes[0]) << "the skipped file stopped";
  EXPECT_EQ(SizeOf(second.DestFolder + second.FileName), sizes[1]) << "the skipped file stopped";
  // What a skipped file will not bring leaves the batch's figures.
  Window->Refresh(*items[3]);
  EXPECT_EQ(Window->Text("lblCurrentBytes"),
            Q(BytesCopiedText(items[3]->BytesThere(), items[3]->Size)));
  EXPECT_GE(Window->findChild<QProgressBar*>("pbCurrent")->value(), 75);
  int64_t there = 0;
  int64_t total = 0;
  for (const TTransferItem* item : items) {
    there += item->State == tsDone ? item->Size : item->BytesThere();
    total += item->State == tsCancelled ? item->BytesThere() : item->Size;
  }
  EXPECT_EQ(Window->Text("lblTotalBytes"), Q(BytesCopiedText(there, total)));

  EXPECT_EQ(Host.AllNotices, 0);
  QTest::keyClick(Window.get(), Qt::Key_Escape);
  EXPECT_EQ(items[3]->State, tsCancelled);
  EXPECT_EQ(Host.AllNotices, 1);
  EXPECT_FALSE(Window->isVisible());
  EXPECT_EQ(list->model()->rowCount(), 0);
  EXPECT_EQ(Host.Status, notes.join("; "));
}

// The server resets the data connection of the batch's last file and goes away: the batch
// ends, and the box of failures names that file with the engine's reason and the part kept;
// the manager's status says the same. Re-submit from the box resumes it to the end.
TEST_F(TransferWindowTest, ABatchWhoseLastItemFailsLeavesItsReasonAndCanBeResubmitted) {
  auto logOn = [] {
    return TScript().Reply("220 Ready").OnEach({"331 Password", "230 In"}).Probe();
  };
  TScript script = logOn();
  script.On("200 Type set").On("200 PORT ok").On("150 Opening").SendData("one");
  script.Reply("226 Done");
  script.On("200 PORT ok").On("150 Opening").DataHold("0123");
  script.ResetData().Close();
  TScript gone;  // the one retry finds the server gone
  gone.Close();
  // A failed run's connection is not used again: the re-submitted item logs on afresh.
  TScript again = logOn();
  again.On("200 Type set").On("213 10").On("200 PORT ok").On("350 Restarting at 4");
  again.On("150 Opening").SendData("456789").Reply("226 Done").WaitClose();
  TScriptedFtpServer server({script, gone, again});
  const std::string local =
      ::testing::TempDir() + "pelmar-batch-" + std::to_string(::getpid()) + "/";
  fs::create_directories(local);
  TfrmTransferMngr manager(*Queue, *Window);
  for (const char* name : {"one", "two"}) {
    auto item = std::make_unique<TTransferItem>();
    item->Server = std::make_shared<const TServer>(
        TServer{.Host = "127.0.0.1", .Port = server.Port(), .User = "anonymous"});
    item->SourceFolder = "/";
    item->FileName = name;
    item->DestFolder = local;
    item->Size = std::string(name) == "two" ? 10 : 3;
    item->Mode = TTransferItem::kModeBinary;
    Queue->Add(item);
  }
  Window->show();
  ASSERT_TRUE(RunUntil([&] { return Host.AllNotices == 1; }));
  EXPECT_EQ(Host.FileNotices, 1) << "the last file of a batch is the end of all";
  EXPECT_EQ(Queue->Item(0).State, tsDone);
  TTransferItem& two = Queue->Item(1);
  ASSERT_EQ(two.State, tsFailed);
  EXPECT_EQ(Window->CurrentItem(), nullptr);
  EXPECT_EQ(Host.Status, "1 transfer failed");
  TfrmFailedTransfers* box = Window->Failures();
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  const QString line = box->Lines();
  EXPECT_EQ(line, Q("two: " + two.FailureLine())) << "one line, with its own name";
  EXPECT_TRUE(line.contains("reset")) << line.toStdString();
  EXPECT_TRUE(line.endsWith("(partial kept: 4 of 10 bytes)")) << line.toStdString();
  EXPECT_EQ(manager.Rows().StatusAt(1), "Aborted due to Error: " + Q(two.FailureLine()));

  box->findChild<QPushButton*>("btnResubmit")->click();
  EXPECT_FALSE(box->isVisible());
  ASSERT_TRUE(RunUntil([&] { return Host.AllNotices == 2; }));
  EXPECT_EQ(two.State, tsDone) << two.FailureLine();
  EXPECT_EQ(ReadFile(local + "two"), "0123456789");
  EXPECT_EQ(Host.Status, "") << "nothing failed in that batch";
  fs::remove_all(local);
}

// The manager on a queue with a file running: its texts, and what it offers by state; cancel
// and re-submit while busy (it waits) and while idle (it starts at once). Chosen waiting rows
// move as a block in their order (the running one stays), by the menu's actions, Ctrl+Down and
// dragging, and the queue runs them in the new order. Remove finished takes done and skipped
// rows only; skipping the only running item ends the batch.
TEST_F(TransferWindowTest, TheManagerCancelsResubmitsAndReorders) {
  TRealFtpServer server(TServerKind::Pyftpdlib);
  ASSERT_TRUE(server.Started()) << server.StartError();
  const std::string big = server.Root() + "big";
  WriteFile(big, "");
  ASSERT_EQ(::truncate(big.c_str(), int64_t{1} << 32), 0);  // stays running
  const std::string local = server.Root() + "../local/";
  fs::create_directories(local);
  TfrmTransferMngr manager(*Queue, *Window);
  manager.show();
  TTransferListModel& rows = manager.Rows();
  std::vector<std::string> started;
  struct TStarts : ITransferListener {
    explicit TStarts(std::vector<std::string>& names) : Names(names) {}
    void ItemStarted(TTransferItem& item) override {
      if (Names.empty() || Names.back() != item.FileName) Names.push_back(item.FileName);
    }
    std::vector<std::string>& Names;
  } starts(started);
  Queue->AddListener(&starts);
  for (const char* name : {"s0", "a", "b", "c", "d", "e"}) WriteFile(server.Root() + name, name);
  WriteFile(server.Root() + "nope", "");
  std::map<std::string, TTransferItem*> items;
  for (const char* name : {"s0", "nope", "big", "a", "b", "c", "d", "e"}) {
    items[name] = &Download(server, name, local);
  }
  ::unlink((server.Root() + "nope").c_str());  // fails
  ASSERT_TRUE(RunUntil([&] { return items["big"]->BytesDone > 0; }));
  auto text = [&](int row, int column) { return rows.index(row, column).data().toString(); };
  EXPECT_EQ(text(3, TTransferListModel::colStatus), "Download Pending");
  EXPECT_TRUE(text(2, TTransferListModel::colStatus).contains(" of 4GB copied, "));
  EXPECT_EQ(rows.StatusAt(1).left(22), "Aborted due to Error: ") << "with why";
  auto offers = [&](int row) {
    manager.RememberRow(row);
    return std::pair(manager.CancelMnuItm->isEnabled(), manager.ResubmitMnuItm->isEnabled());
  };
  using TOffer = std::pair<bool, bool>;
  EXPECT_EQ(offers(0), TOffer(false, false)) << "done";
  EXPECT_EQ(offers(2), TOffer(true, false)) << "active";
  EXPECT_EQ(offers(3), TOffer(true, false)) << "pending";
  EXPECT_EQ(offers(-1), TOffer(false, false)) << "outside the rows";
  offers(3);
  manager.CancelMnuItmClick();
  EXPECT_EQ(text(3, TTransferListModel::colStatus), "Cancelled");
  EXPECT_EQ(offers(3), TOffer(false, true));
  manager.ResubmitMnuItmClick();
  EXPECT_EQ(text(3, TTransferListModel::colStatus), "Download Pending") << "waits while busy";
  EXPECT_EQ(items["big"]->State, tsActive);

  auto order = [&] {
    std::string names;
    for (int row = 0; row < rows.rowCount(); ++row) {
      EXPECT_EQ(rows.ItemAt(row), &Queue->Item(row)) << "rows follow the queue";
      names += rows.index(row, TTransferListModel::colFile).data().toString().toStdString() + " ";
    }
    return names;
  };
  // Done, failed, running and waiting rows: only the done one goes.
  ASSERT_TRUE(manager.RemoveFinishedMnuItm->isEnabled());
  manager.RemoveFinishedMnuItm->trigger();
  EXPECT_EQ(order(), "nope big a b c d e ");
  EXPECT_FALSE(manager.RemoveFinishedMnuItm->isEnabled());
  auto* list = manager.findChild<QTableView*>("lvTransfer");
  auto choose = [&](std::initializer_list<int> chosen) {
    list->clearSelection();
    for (const int row : chosen) {
      list->selectionModel()->select(rows.index(row, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
  };
  choose({1, 3, 5});  // big (running), b, d: b and d go up past a, together
  ASSERT_TRUE(manager.MoveUpMnuItm->isEnabled());
  manager.MoveUpMnuItm->trigger();
  EXPECT_EQ(order(), "nope big b d a c e ");
  choose({6});
  EXPECT_FALSE(manager.MoveDownMnuItm->isEnabled()) << "at the bottom already";
  manager.ToTopMnuItm->trigger();
  EXPECT_EQ(order(), "e nope big b d a c ");
  choose({3, 4});
  QTest::keyClick(list, Qt::Key_Down, Qt::ControlModifier);
  EXPECT_EQ(order(), "e nope big a b d c ");
  EXPECT_EQ(list->selectionModel()->selectedRows().size(), 2) << "the selection moved along";
  choose({2});
  EXPECT_FALSE(manager.ToTopMnuItm->isEnabled()) << "a running item does not move";
  choose({6});  // c dropped on the top row, then the top row on itself
  manager.DropOn(0);
  choose({0});
  manager.DropOn(0);
  EXPECT_EQ(order(), "c e nope big a b d ");

  // Big skipped: the rest run in the new order.
  manager.RememberRow(3);
  manager.CancelMnuItmClick();
  ASSERT_TRUE(RunUntil(
      [&] { return Queue->CountInState(tsPending) == 0 && Queue->CountInState(tsActive) == 0; }));
  EXPECT_EQ(testing::PrintToString(started), testing::PrintToString(std::vector<std::string>{
                                                 "s0", "nope", "big", "c", "e", "a", "b", "d"}));
  EXPECT_EQ(ReadFile(local + "a"), "a");
  // Re-submitted while idle it starts at once; skipping the only running item ends the batch.
  const int notices = Host.AllNotices;
  EXPECT_EQ(offers(3), TOffer(false, true));
  manager.ResubmitMnuItmClick();
  ASSERT_EQ(items["big"]->State, tsActive);
  manager.CancelMnuItmClick();
  EXPECT_EQ(Host.AllNotices, notices + 1);
  EXPECT_EQ(Window->CurrentItem(), nullptr);
  manager.RemoveFinishedMnuItm->trigger();
  EXPECT_EQ(order(), "nope ") << "the failed one stays to be re-submitted";
  Queue->RemoveListener(&starts);
}

}  // namespace
}  // namespace pelmar::test
