// Both panes against real servers: connect, list, navigate and sort; a selection with nested
// folders downloaded and uploaded through the queue and compared byte for byte; files fetched
// into the temporary folder.

#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QTreeView>
#include <QUrl>
#include <filesystem>
#include <map>
#include <random>

#include <unistd.h>

#include "engine/EngineSettings.h"
#include "settings/Preferences.h"
#include "support/Files.h"
#include "support/RealFtpServer.h"
#include "text/PrivateFolder.h"
#include "text/TextUtils.h"
#include "transfers/TransferQueue.h"
#include "views/qt/HostView.h"
#include "views/qt/LocalView.h"
#include "views/qt/PaneFixture.h"

namespace pelmar::test {
namespace {

namespace fs = std::filesystem;

class TYesToAll : public IQueueQuestions {
 public:
  TAnswer AskOverwrite(const std::string&, const TQuestionFiles&, bool) override {
    return TAnswer::Yes;
  }
  TAnswer AskRestart(const std::string&, const TQuestionFiles&) override { return TAnswer::No; }
};

class PanesRealServerTest : public PaneTest, public ::testing::WithParamInterface<TServerKind> {
 protected:
  void SetUp() override {
    PaneTest::SetUp();
    if (const std::string why = TRealFtpServer::CannotRun(GetParam()); !why.empty()) {
      GTEST_SKIP() << why;
    }
    Server = std::make_unique<TRealFtpServer>(GetParam());
    ASSERT_TRUE(Server->Started()) << Server->StartError();
    Preferences() = TPreferences();
    Preferences().TransferMode = 2;  // binary: byte for byte
    LocalRoot = Server->Root() + "../local/";
    fs::create_directories(LocalRoot);
    Queue = std::make_unique<TTransferItems>(Target);
    Local = std::make_unique<TLocalView>(Page());
    Remote = std::make_unique<THostView>(Page(), Target);
    Local->Queue = Remote->Queue = Queue.get();
    Remote->Questions = &Answers;
    Local->ChangeFolder(QString::fromStdString(LocalRoot));
  }
  void TearDown() override {
    Remote.reset();
    Local.reset();
    Queue.reset();
    PaneTest::TearDown();
    Server.reset();
  }
  void Connect() {
    Remote->Connect("127.0.0.1", Server->Port(), QString::fromStdString(Server->User()),
                    QString::fromStdString(Server->Password()), "", "", "");
    ASSERT_TRUE(RunUntil([&] { return Remote->Model().rowCount() > 0; }));
  }
  void Select(TCustomView& view, const QString& name) {
    view.ListView()->ClearSelection();
    for (int row = 0; row < view.ListView()->RowCount(); ++row) {
      const QModelIndex item = view.ListView()->Row(row);
      if (view.GetItemName(item) == name) view.ListView()->Select(item, true);
    }
    ASSERT_EQ(view.ListView()->SelectedItems().size(), 1) << name.toStdString();
  }
  QStringList Names() const {
    QStringList names;
    for (int row = 0; row < Remote->Model().rowCount(); ++row) {
      names << Remote->GetItemName(Remote->Model().index(row, 0));
    }
    return names;
  }
  bool QueueIdle() {
    return RunUntil(
        [&] { return Queue->CountInState(tsPending) == 0 && Queue->CountInState(tsActive) == 0; },
        60000);
  }

  std::unique_ptr<TRealFtpServer> Server;
  std::unique_ptr<TTransferItems> Queue;
  std::unique_ptr<TLocalView> Local;
  std::unique_ptr<THostView> Remote;
  TYesToAll Answers;
  std::string LocalRoot;
};

TEST_P(PanesRealServerTest, BrowseSortAndMoveWholeFoldersBothWays) {
  const std::string root = Server->Root();
  fs::create_directories(root + "tree/sub/deeper");
  fs::create_directories(root + "tree/empty");
  fs::create_directories(root + "up");
  WriteFile(root + "tree/big.bin", RandomBytes(300000, 1));
  WriteFile(root + "tree/small.txt", "small\n");
  WriteFile(root + "tree/sub/b.bin", RandomBytes(4097, 2));
  WriteFile(root + "tree/sub/deeper/c.bin", "");
  WriteFile(root + "zz.bin", RandomBytes(3000000, 4));
  ::chmod((root + "up").c_str(), 0777);
  Connect();
  EXPECT_EQ(Names(), (QStringList{"tree", "up", "zz.bin"}));

  // Into the tree and sorted by size: folders first, then the smallest file.
  Select(*Remote, "tree");
  Remote->DoubleClick(Remote->ListView()->SelectedItems().first());
  ASSERT_TRUE(RunUntil([&] { return Names().contains("big.bin"); }));
  emit Remote->ListView()->Details()->header()->sectionClicked(1);
  EXPECT_EQ(Names(), (QStringList{"empty", "sub", "small.txt", "big.bin"}));
  Remote->FolderUp();
  EXPECT_EQ(Names(), (QStringList{"tree", "up", "zz.bin"})) << "from the cache, sorted again";

  Select(*Remote, "tree");
  ASSERT_TRUE(Remote->SendSelection(Local.get()));
  ASSERT_TRUE(QueueIdle());
  EXPECT_EQ(Tree(LocalRoot + "tree"), Tree(root + "tree"));

  Select(*Remote, "up");
  Remote->DoubleClick(Remote->ListView()->SelectedItems().first());
  ASSERT_TRUE(RunUntil([&] { return Remote->Folder().endsWith("up/"); }));
  ASSERT_TRUE(RunUntil([&] { return Local->ListView()->RowCount() > 0; }));
  Select(*Local, "tree");
  ASSERT_TRUE(Local->SendSelection(Remote.get()));
  ASSERT_TRUE(QueueIdle());
  EXPECT_EQ(Tree(root + "up/tree"), Tree(root + "tree"));
  for (int i = 0; i < Queue->Count(); ++i) {
    EXPECT_EQ(Queue->Item(i).StatusText(), "Done") << Queue->Item(i).FileName;
  }

  // A file that grows after it appears in the local pane shows its final size there.
  Remote->FolderUp();
  ASSERT_TRUE(RunUntil([&] { return Names().contains("zz.bin"); }));
  Select(*Remote, "zz.bin");
  ASSERT_TRUE(Remote->SendSelection(Local.get()));
  ASSERT_TRUE(QueueIdle());
  auto localSize = [&] {
    for (int row = 0; row < Local->ListView()->RowCount(); ++row) {
      const QModelIndex item = Local->ListView()->Row(row);
      if (Local->GetItemName(item) == "zz.bin") return Local->GetItemSize(item);
    }
    return int64_t{-1};
  };
  EXPECT_TRUE(RunUntil([&] { return localSize() == 3000000; })) << localSize();
}

// Sorting moves rows, not the selection: after sorting by every column both ways the selected
// and current entry is still the one clicked, and Delete asks about and removes exactly it.
TEST_P(PanesRealServerTest, SortingKeepsTheSelectionOnItsEntryAndDeleteTakesThatEntry) {
  if (GetParam() != TServerKind::Pyftpdlib) GTEST_SKIP() << "one server is enough";
  const std::string root = Server->Root();
  WriteFile(root + "a-small.bin", std::string(10, 'a'));
  WriteFile(root + "b-mid.txt", std::string(1000, 'b'));
  WriteFile(root + "c-big.bin", std::string(90000, 'c'));
  fs::create_directories(root + "d-folder");
  Connect();
  Select(*Remote, "c-big.bin");
  QAbstractItemView* view = Remote->ListView()->Current();
  view->setCurrentIndex(Remote->ListView()->SelectedItems().first());
  QHeaderView* header = Remote->ListView()->Details()->header();
  for (int column = 0; column < 4; ++column) {
    for (int click = 0; click < 2; ++click) {
      emit header->sectionClicked(column);
      const auto selected = Remote->ListView()->SelectedItems();
      ASSERT_EQ(selected.size(), 1) << column;
      EXPECT_EQ(Remote->GetItemName(selected.first()), "c-big.bin") << column << " " << click;
      EXPECT_EQ(Remote->GetItemName(view->currentIndex()), "c-big.bin") << column << " " << click;
      EXPECT_EQ(header->sortIndicatorSection(), column);
    }
  }
  QString asked;
  Remote->ConfirmDelete = [&](int count, const QString& name, bool) {
    asked = QString::number(count) + " " + name;
    return true;
  };
  ASSERT_TRUE(Remote->DeleteSelected(true));
  ASSERT_TRUE(RunUntil([&] { return !Exists(root + "c-big.bin"); }));
  EXPECT_EQ(asked, "1 c-big.bin");
  EXPECT_TRUE(Exists(root + "a-small.bin"));
  EXPECT_TRUE(Exists(root + "b-mid.txt"));
}

// In passive mode: the pane lists and fetches over data connections it opens itself. A file
// to view goes to this run's private folder; a link another user planted where the shared
// temporary folder would have held it is not followed.
TEST_P(PanesRealServerTest, InPassiveModeFetchedFilesArriveInThePrivateFolder) {
  EngineSettings().PassiveMode = true;
  struct TActiveAgain {
    ~TActiveAgain() { EngineSettings().PassiveMode = false; }
  } activeAgain;
  const std::string name = "fetch-me-" + std::to_string(::getpid()) + ".bin";
  WriteFile(Server->Root() + name, RandomBytes(20000, 3));
  const std::string victim = LocalRoot + "victim.txt";
  WriteFile(victim, "mine");
  const std::string planted = TemporaryFolder() + name;
  fs::create_symlink(victim, planted);
  struct TUnplant {
    std::string Path;
    ~TUnplant() { ::unlink(Path.c_str()); }
  } unplant{planted};
  Connect();
  QStringList fetched;
  TFetchKind kind = TFetchKind::None;
  QObject::connect(Remote.get(), &THostView::Transferred,
                   [&](const QStringList& files, TFetchKind fetchKind) {
                     fetched = files;
                     kind = fetchKind;
                   });
  Select(*Remote, QString::fromStdString(name));
  ASSERT_TRUE(Remote->FetchSelected(*Local, TFetchKind::View));
  ASSERT_TRUE(RunUntil([&] { return !fetched.isEmpty(); }));
  EXPECT_EQ(kind, TFetchKind::View);
  ASSERT_EQ(fetched.size(), 1);
  EXPECT_EQ(fetched[0].toStdString(), PrivateFolder() + name);
  EXPECT_EQ(ReadFile(fetched[0].toStdString()), ReadFile(Server->Root() + name));
  EXPECT_EQ(ReadFile(victim), "mine");
}

// A server on ::1, named as an address writes it: listed, fetched through the queue, and
// its entries' addresses bracketed.
TEST_P(PanesRealServerTest, AnIpv6ServerByItsBracketedAddress) {
  if (GetParam() != TServerKind::Pyftpdlib) GTEST_SKIP() << "one IPv6 server is enough";
  TRealFtpServer six(TServerKind::Pyftpdlib, {.Ipv6 = true});
  ASSERT_TRUE(six.Started()) << six.StartError();
  WriteFile(six.Root() + "six.bin", RandomBytes(70000, 6));
  // The named account: its address names the user, never the password.
  Remote->Connect("[::1]", six.Port(), TRealFtpServer::kUser, TRealFtpServer::kPassword, "", "",
                  "");
  ASSERT_TRUE(RunUntil([&] { return Names() == QStringList{"six.bin"}; }));
  Select(*Remote, "six.bin");
  const QString url = Remote->BuildUrl(Remote->ListView()->SelectedItems().first());
  EXPECT_EQ(
      url, QString("ftp://%1@[::1]:%2/").arg(TRealFtpServer::kUser).arg(six.Port()) + "%2Fsix.bin");
  ASSERT_TRUE(Remote->SendSelection(Local.get()));
  ASSERT_TRUE(QueueIdle());
  EXPECT_TRUE(ReadFile(LocalRoot + "six.bin") == ReadFile(six.Root() + "six.bin"));
}

// An address's path is relative to the log-on folder (ProFTPD's is not the root): the pane
// opens the folder the address names, and the address it gives an entry names that entry.
TEST_P(PanesRealServerTest, AnAddressOpensItsFolderInTheLogOnFolder) {
  fs::create_directories(Server->Root() + "dir with space");
  WriteFile(Server->Root() + "dir with space/inside.txt", "in");
  const TSplitUrl parts = SplitUrl(Server->Url() + "dir%20with%20space/", "");
  Remote->Connect("127.0.0.1", parts.Port, QString::fromStdString(parts.User),
                  QString::fromStdString(Server->Password()), "",
                  QString::fromStdString(parts.ServerFolder), "");
  ASSERT_TRUE(RunUntil([&] { return Names() == QStringList{"inside.txt"}; }))
      << Remote->Folder().toStdString();
  Select(*Remote, "inside.txt");
  const QModelIndex entry = Remote->ListView()->SelectedItems().first();
  const TSplitUrl again = SplitUrl(Remote->BuildUrl(entry).toStdString(), "");
  EXPECT_EQ(QString::fromStdString(again.ServerFolder + again.FileName),
            Remote->GetItemPath(entry));
}

// A file manager's drag: a text/uri-list of file:// addresses, from no widget of ours.
void DropFiles(TCustomView& pane, const QStringList& paths, Qt::KeyboardModifiers modifiers) {
  QMimeData mime;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  mime.setUrls(urls);
  QWidget* target = pane.ListView()->Current()->viewport();
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                        modifiers);
  QApplication::sendEvent(target, &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, modifiers);
  QApplication::sendEvent(target, &drop);
  EXPECT_EQ(drop.dropAction(), modifiers & Qt::ShiftModifier ? Qt::MoveAction : Qt::CopyAction);
}

TEST_P(PanesRealServerTest, FilesDroppedFromTheFileManager) {
  if (GetParam() != TServerKind::Pyftpdlib) GTEST_SKIP() << "one server is enough";
  const std::string desk = Server->Root() + "../desk/";
  fs::create_directories(desk + "folder/inner");
  WriteFile(desk + "folder/inner/a.bin", RandomBytes(5000, 6));
  WriteFile(desk + "note.txt", "note\n");
  WriteFile(Server->Root() + "here.txt", "");
  Connect();
  // Onto the server: uploaded through the queue, folders whole.
  DropFiles(*Remote,
            {QString::fromStdString(desk + "folder"), QString::fromStdString(desk + "note.txt")},
            Qt::NoModifier);
  ASSERT_TRUE(QueueIdle());
  EXPECT_EQ(Tree(Server->Root() + "folder"), Tree(desk + "folder"));
  EXPECT_EQ(ReadFile(Server->Root() + "note.txt"), "note\n");
  // Onto the local pane with Shift: moved into its folder.
  DropFiles(*Local, {QString::fromStdString(desk + "note.txt")}, Qt::ShiftModifier);
  EXPECT_EQ(ReadFile(LocalRoot + "note.txt"), "note\n");
  EXPECT_FALSE(Exists(desk + "note.txt"));
}

INSTANTIATE_TEST_SUITE_P(Servers, PanesRealServerTest, ::testing::ValuesIn(AllServerKinds()),
                         [](const auto& param) { return ServerName(param.param); });

}  // namespace
}  // namespace pelmar::test
