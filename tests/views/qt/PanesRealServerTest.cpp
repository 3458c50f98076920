// Both panes against a real server: connect, list, navigate and sort; a selection with nested
// folders downloaded, uploaded and dropped through the queue and compared byte for byte; an
// address's folder. (Every kind of server: the queue's and engine's tests; files fetched for
// viewing or editing: the main window's tests.)

#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QTreeView>
#include <QUrl>
#include <filesystem>

#include <unistd.h>

#include "settings/Preferences.h"
#include "support/Files.h"
#include "support/RealFtpServer.h"
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

class PanesRealServerTest : public PaneTest {
 protected:
  void SetUp() override {
    PaneTest::SetUp();
    Preferences() = TPreferences();
    Preferences().TransferMode = 2;  // binary: byte for byte
    Queue = std::make_unique<TTransferItems>(Target);
    Local = std::make_unique<TLocalView>(Page());
    Remote = std::make_unique<THostView>(Page(), Target);
    Local->Queue = Remote->Queue = Queue.get();
    Remote->Questions = &Answers;
  }
  void TearDown() override {
    Remote.reset();
    Local.reset();
    Queue.reset();
    PaneTest::TearDown();
    Server.reset();
  }
  // One path of the panes needs one server: the queue's tests run every kind.
  void Start(TServerKind kind = TServerKind::Pyftpdlib, TServerOptions options = {}) {
    Server = std::make_unique<TRealFtpServer>(kind, options);
    ASSERT_TRUE(Server->Started()) << Server->StartError();
    LocalRoot = Server->Root() + "../local/";
    fs::create_directories(LocalRoot);
    Local->ChangeFolder(QString::fromStdString(LocalRoot));
  }
  void Connect(const std::string& folder = "") {
    Remote->Connect(QString::fromStdString(Server->Host()), Server->Port(),
                    QString::fromStdString(Server->User()),
                    QString::fromStdString(Server->Password()), "", QString::fromStdString(folder),
                    "");
    ASSERT_TRUE(RunUntil([&] { return Remote->Model().rowCount() > 0; }));
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

// Browsing and sorting (rows move, the selection stays on its entry, and Delete takes that
// entry), then whole folders down, up, and dropped from the file manager.
TEST_F(PanesRealServerTest, BrowseSortDeleteAndMoveWholeFoldersBothWays) {
  Start();
  const std::string root = Server->Root();
  fs::create_directories(root + "tree/sub/deeper");
  fs::create_directories(root + "tree/empty");
  fs::create_directories(root + "up");
  WriteFile(root + "tree/big.bin", RandomBytes(300000, 1));
  WriteFile(root + "tree/small.txt", "small\n");
  WriteFile(root + "tree/doomed.bin", std::string(1000, 'd'));
  WriteFile(root + "tree/sub/b.bin", RandomBytes(4097, 2));
  WriteFile(root + "tree/sub/deeper/c.bin", "");
  WriteFile(root + "zz.bin", "z");
  ::chmod((root + "up").c_str(), 0777);
  Connect();
  EXPECT_EQ(Names(), (QStringList{"tree", "up", "zz.bin"}));

  // Into the tree and sorted by size: folders first, then the smallest file.
  Select(*Remote, {"tree"});
  Remote->DoubleClick(Remote->ListView()->SelectedItems().first());
  ASSERT_TRUE(RunUntil([&] { return Names().contains("big.bin"); }));
  QHeaderView* header = Remote->ListView()->Details()->header();
  emit header->sectionClicked(1);
  EXPECT_EQ(Names(), (QStringList{"empty", "sub", "small.txt", "doomed.bin", "big.bin"}));
  Select(*Remote, {"doomed.bin"});
  QAbstractItemView* view = Remote->ListView()->Current();
  view->setCurrentIndex(Remote->ListView()->SelectedItems().first());
  for (int column = 0; column < 4; ++column) {
    for (int click = 0; click < 2; ++click) {
      emit header->sectionClicked(column);
      const auto selected = Remote->ListView()->SelectedItems();
      ASSERT_EQ(selected.size(), 1) << column;
      EXPECT_EQ(Remote->GetItemName(selected.first()), "doomed.bin") << column << " " << click;
      EXPECT_EQ(Remote->GetItemName(view->currentIndex()), "doomed.bin") << column << " " << click;
    }
  }
  QString asked;
  Remote->ConfirmDelete = [&](int count, const QString& name, bool) {
    asked = QString::number(count) + " " + name;
    return true;
  };
  ASSERT_TRUE(Remote->DeleteSelected(true));
  ASSERT_TRUE(RunUntil([&] { return !Exists(root + "tree/doomed.bin"); }));
  EXPECT_EQ(asked, "1 doomed.bin");
  EXPECT_TRUE(Exists(root + "tree/big.bin"));
  emit header->sectionClicked(0);
  Remote->FolderUp();
  EXPECT_EQ(Names(), (QStringList{"tree", "up", "zz.bin"})) << "from the cache, sorted again";

  Select(*Remote, {"tree"});
  ASSERT_TRUE(Remote->SendSelection(Local.get()));
  ASSERT_TRUE(QueueIdle());
  EXPECT_EQ(Tree(LocalRoot + "tree"), Tree(root + "tree"));

  Select(*Remote, {"up"});
  Remote->DoubleClick(Remote->ListView()->SelectedItems().first());
  ASSERT_TRUE(RunUntil([&] { return Remote->Folder().endsWith("up/"); }));
  ASSERT_TRUE(RunUntil([&] { return Local->ListView()->RowCount() > 0; }));
  Select(*Local, {"tree"});
  ASSERT_TRUE(Local->SendSelection(Remote.get()));
  ASSERT_TRUE(QueueIdle());
  EXPECT_EQ(Tree(root + "up/tree"), Tree(root + "tree"));

  // Dropped from a file manager onto the server: uploaded through the queue, folders whole;
  // onto the local pane with Shift: moved into its folder.
  const std::string desk = root + "../desk/";
  fs::create_directories(desk + "folder/inner");
  WriteFile(desk + "folder/inner/a.bin", RandomBytes(5000, 6));
  WriteFile(desk + "note.txt", "note\n");
  DropFiles(*Remote,
            {QString::fromStdString(desk + "folder"), QString::fromStdString(desk + "note.txt")},
            Qt::NoModifier);
  ASSERT_TRUE(QueueIdle());
  EXPECT_EQ(Tree(root + "up/folder"), Tree(desk + "folder"));
  EXPECT_EQ(ReadFile(root + "up/note.txt"), "note\n");
  DropFiles(*Local, {QString::fromStdString(desk + "note.txt")}, Qt::ShiftModifier);
  EXPECT_EQ(ReadFile(LocalRoot + "note.txt"), "note\n");
  EXPECT_FALSE(Exists(desk + "note.txt"));
}

// An address's path is relative to the log-on folder, which on ProFTPD is not the root: the
// pane opens the folder the address names, and the address it gives an entry names that entry.
TEST_F(PanesRealServerTest, AnAddressOpensItsFolderInTheLogOnFolder) {
  if (const std::string why = TRealFtpServer::CannotRun(TServerKind::Proftpd); !why.empty()) {
    GTEST_SKIP() << why;
  }
  Start(TServerKind::Proftpd);
  fs::create_directories(Server->Root() + "dir with space");
  WriteFile(Server->Root() + "dir with space/inside.txt", "in");
  Connect(SplitUrl(Server->Url() + "dir%20with%20space/", "").ServerFolder);
  ASSERT_TRUE(RunUntil([&] { return Names() == QStringList{"inside.txt"}; }))
      << Remote->Folder().toStdString();
  Select(*Remote, {"inside.txt"});
  const QModelIndex entry = Remote->ListView()->SelectedItems().first();
  const TSplitUrl again = SplitUrl(Remote->BuildUrl(entry).toStdString(), "");
  EXPECT_EQ(QString::fromStdString(again.ServerFolder + again.FileName),
            Remote->GetItemPath(entry));
}

}  // namespace
}  // namespace pelmar::test
