// The transfer progress window: its texts, Cancel with pending items, and the notices at the
// end of a batch, against a real server.

#include <QLabel>
#include <QProgressBar>
#include <filesystem>

#include "settings/Preferences.h"
#include "support/Files.h"
#include "support/RealFtpServer.h"
#include "transfers/TransferQueue.h"
#include "transfers/qt/TransferWindow.h"
#include "views/qt/PaneFixture.h"

namespace pelmar::test {
namespace {

namespace fs = std::filesystem;

class TRecordingHost : public ITransferWindowHost {
 public:
  void SetStatusLine(const QString& text) override { Status = text; }
  void AppendToLog(const QString& line) override { Log << line; }
  void SetTransferConnected(bool connected) override { Connected = connected; }
  void EndOfFile() override { ++FileNotices; }
  void EndOfAll() override { ++AllNotices; }
  QString Status;
  QStringList Log;
  bool Connected = false;
  int FileNotices = 0;
  int AllNotices = 0;
};

class TransferWindowTest : public PaneTest {
 protected:
  void SetUp() override {
    PaneTest::SetUp();
    Preferences() = TPreferences();
    Queue = std::make_unique<TTransferItems>(Target);
    Window = std::make_unique<TfrmTransfer>(*Queue, Host);
  }
  void TearDown() override {
    Window.reset();
    Queue.reset();
    PaneTest::TearDown();
  }
  std::unique_ptr<TTransferItems> Queue;
  TRecordingHost Host;
  std::unique_ptr<TfrmTransfer> Window;
};

TEST_F(TransferWindowTest, TextsOfAResumedDownload) {
  TTransferItem item;
  item.FileName = "part.bin";
  item.Size = 1000;
  item.RestartOffset = 400;
  item.BytesDone = 300;
  Window->Refresh(item);
  EXPECT_EQ(Window->Text("lblCurrentBytes"), "700 of 1000 bytes copied");
  EXPECT_EQ(Window->findChild<QProgressBar*>("pbCurrent")->value(), 50);
  EXPECT_TRUE(Window->Text("lblCurrentRemaining").endsWith(" remaining"));
  EXPECT_EQ(Window->Text("lblFileCount"), "File 1 of 1");
  item.BytesDone = 0;
  Window->Refresh(item);
  EXPECT_EQ(Window->Text("lblCurrentRemaining"), "0:00 remaining") << "nothing moved yet";
}

TEST_F(TransferWindowTest, CancelMarksTheRunningAndEveryPendingItem) {
  TRealFtpServer server(TServerKind::Pyftpdlib);
  ASSERT_TRUE(server.Started()) << server.StartError();
  const std::string big = server.Root() + "big";
  WriteFile(big, "");
  ASSERT_EQ(::truncate(big.c_str(), int64_t{1} << 32), 0);  // stays running
  WriteFile(server.Root() + "small", "s");
  const std::string local = server.Root() + "../local/";
  fs::create_directories(local);
  for (const char* name : {"big", "small", "small", "small"}) {
    auto item = std::make_unique<TTransferItem>();
    item->Host = "127.0.0.1";
    item->Port = server.Port();
    item->User = server.User();
    item->Password = server.Password();
    item->FileName = name;
    item->DestFolder = local + std::to_string(Queue->Count()) + "-";
    item->Size = 1;
    Queue->Add(item);
  }
  ASSERT_TRUE(RunUntil([&] { return Queue->Item(0).BytesDone > 0; }));
  Window->Cancel();
  for (int i = 0; i < Queue->Count(); ++i) {
    EXPECT_EQ(Queue->Item(i).StatusText(), "Cancelled") << i;
  }
  EXPECT_EQ(Host.AllNotices, 1);
  EXPECT_FALSE(Window->isVisible());
}

TEST_F(TransferWindowTest, ASingleDownloadEndsWithTheEndOfAllNoticeAndItsListedDate) {
  TRealFtpServer server(TServerKind::Pyftpdlib);
  ASSERT_TRUE(server.Started()) << server.StartError();
  WriteFile(server.Root() + "one", "1");
  const std::string local = server.Root() + "../local/";
  fs::create_directories(local);
  auto item = std::make_unique<TTransferItem>();
  item->Host = "127.0.0.1";
  item->Port = server.Port();
  item->User = server.User();
  item->Password = server.Password();
  item->FileName = "one";
  item->DestFolder = local;
  item->Size = 1;
  item->FileDate = DateTimeFromTimeT(1579089601);
  Queue->Add(item);
  ASSERT_TRUE(RunUntil([&] { return Host.AllNotices == 1; }));
  EXPECT_EQ(Host.FileNotices, 0) << "the last file of a batch is the end of all";
  struct stat info {};
  ::stat((local + "one").c_str(), &info);
  EXPECT_EQ(info.st_mtime, 1579089601);
  EXPECT_TRUE(Host.Connected);
}

}  // namespace
}  // namespace pelmar::test
