// The local pane and what both panes share: the key table, drops between panes, new folders,
// the trash, and the clipboard with the desktop's file managers.

#include <QApplication>
#include <QKeyEvent>
#include <QListView>
#include <QMimeData>
#include <QTreeView>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "support/Files.h"
#include "support/ScriptedPrompter.h"
#include "views/qt/LocalFileOps.h"
#include "views/qt/LocalView.h"
#include "views/qt/PaneFixture.h"

namespace pelmar::test {
namespace {

namespace fs = std::filesystem;

// A local pane that records what the keys asked for instead of doing it.
class TRecordingView : public TLocalView {
 public:
  using TLocalView::TLocalView;
  std::vector<std::string> Calls;
  bool DeleteSelected(bool confirm) override {
    Calls.push_back(confirm ? "delete" : "delete without asking");
    return true;
  }
  void RefreshFolder() override { Calls.push_back("refresh"); }
  void RenameFocused() override { Calls.push_back("rename"); }
  bool ShowProperties() override {
    Calls.push_back("properties");
    return true;
  }
  void Copy() override { Calls.push_back("copy"); }
  void Cut() override { Calls.push_back("cut"); }
  void Paste() override { Calls.push_back("paste"); }
  bool FolderUp() override {
    Calls.push_back("up");
    return true;
  }
};

class LocalViewTest : public PaneTest {
 protected:
  void SetUp() override {
    PaneTest::SetUp();
    Root = ::testing::TempDir() + "pelmar-local-" + std::to_string(::getpid()) + "/";
    fs::remove_all(Root);
    fs::create_directories(Root + "here");
    Prompts = std::make_shared<TScriptedPrompter>();
    SetPrompter(Prompts);
  }
  void TearDown() override {
    SetPrompter(nullptr);
    fs::remove_all(Root);
    PaneTest::TearDown();
  }
  QString Path(const std::string& relative) const {
    return QString::fromStdString(Root + relative);
  }

  std::string Root;
  std::shared_ptr<TScriptedPrompter> Prompts;
};

TEST_F(LocalViewTest, KeysOfAPane) {
  WriteFile(Root + "here/a.txt", "a");
  WriteFile(Root + "here/b.txt", "bb");
  TRecordingView view(Page());
  ASSERT_TRUE(view.ChangeFolder(Path("here")));
  ASSERT_TRUE(RunUntil([&] { return view.ListView()->RowCount() == 2; }));
  QTreeView* list = view.ListView()->Details();
  auto press = [&](int key, Qt::KeyboardModifiers modifiers) {
    view.Calls.clear();
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(list, &event);
    return view.Calls.empty() ? std::string() : view.Calls.back();
  };
  const struct {
    int Key;
    Qt::KeyboardModifiers Modifiers;
    const char* Call;
  } keys[] = {
      {Qt::Key_Return, Qt::AltModifier, "properties"},
      {Qt::Key_F2, Qt::NoModifier, "rename"},
      {Qt::Key_F5, Qt::ShiftModifier, "refresh"},
      {Qt::Key_C, Qt::ControlModifier, "copy"},
      {Qt::Key_X, Qt::ControlModifier, "cut"},
      {Qt::Key_V, Qt::ControlModifier, "paste"},
      {Qt::Key_Backspace, Qt::NoModifier, "up"},
      {Qt::Key_Delete, Qt::NoModifier, ""},  // nothing selected yet
  };
  for (const auto& k : keys) EXPECT_EQ(press(k.Key, k.Modifiers), k.Call) << k.Key;

  press(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(view.SelectedCount(), 2);
  EXPECT_EQ(view.PanelText(1), "2 Items Selected, 3 Bytes");
  EXPECT_EQ(view.PanelText(0), "2 Entries, 3 Bytes");
  view.ListView()->ClearSelection();
  view.ListView()->Select(view.ListView()->Row(0), true);
  press(Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(view.SelectedCount(), 1) << "Ctrl+Shift+A inverts";
  EXPECT_EQ(press(Qt::Key_Delete, Qt::NoModifier), "delete");
  EXPECT_EQ(press(Qt::Key_Delete, Qt::ShiftModifier), "delete without asking");

  // A selection is dropped only on the other pane.
  TLocalView other(Page());
  EXPECT_EQ(view.DropSourceFor(view.ListView()->Details()->viewport()), nullptr);
  EXPECT_EQ(view.DropSourceFor(other.ListView()->Icons()), &other);
  EXPECT_EQ(view.DropSourceFor(nullptr), nullptr) << "a drag from another program";
}

// A file that appears and then grows (another program writing it, or a download) shows its
// final size and time without a refresh (Compare Folders reads them from the pane).
TEST_F(LocalViewTest, AFileWrittenOutsideShowsItsSizeAndTime) {
  TLocalView view(Page());
  ASSERT_TRUE(view.ChangeFolder(Path("here")));
  const fs::path file = Root + "here/grows.txt";
  WriteFile(file.string(), "a");
  ASSERT_TRUE(RunUntil([&] { return view.ListView()->RowCount() == 1; }));
  const QDateTime before = view.GetItemDate(view.ListView()->Row(0));
  WriteFile(file.string(), std::string(5000, 'x'));
  fs::last_write_time(file, fs::last_write_time(file) + std::chrono::hours(1));
  { std::ofstream touch(file, std::ios::app); }  // one more write: the time change is seen too
  EXPECT_TRUE(RunUntil([&] { return view.GetItemSize(view.ListView()->Row(0)) == 5000; }));
  EXPECT_GT(view.GetItemDate(view.ListView()->Row(0)), before);
}

TEST_F(LocalViewTest, NewFoldersRenamingAndTheTrash) {
  fs::create_directory(Root + "here/New Folder");
  WriteFile(Root + "here/doomed.txt", "x");
  TLocalView view(Page());
  ASSERT_TRUE(view.ChangeFolder(Path("here")));
  ASSERT_TRUE(RunUntil([&] { return view.ListView()->RowCount() == 2; }));
  // A new folder takes a free name and shows at once; a rename of the first row (a folder,
  // folders first) reaches the disk.
  ASSERT_TRUE(view.MakeFolder(QString(), false));
  EXPECT_TRUE(Exists(Root + "here/New Folder (2)"));
  EXPECT_EQ(view.ListView()->RowCount(), 3);
  ASSERT_TRUE(view.ListView()->Details()->model()->setData(view.ListView()->Row(0), QString("Zeta"),
                                                           Qt::EditRole));
  EXPECT_TRUE(RunUntil([&] { return Exists(Root + "here/Zeta"); }));

  Select(view, {"doomed.txt"});
  Prompts->Answers = {false};
  view.DeleteSelected(true);
  EXPECT_TRUE(Exists(Root + "here/doomed.txt")) << "No keeps the file";
  Prompts->Answers = {true};
  view.DeleteSelected(true);
  EXPECT_FALSE(Exists(Root + "here/doomed.txt"));
  EXPECT_EQ(Prompts->Questions.back(), "Move \"doomed.txt\" to the trash?");
  EXPECT_TRUE(Prompts->Messages.empty());
}

TEST_F(LocalViewTest, ClipboardFormatsAndPaste) {
  fs::create_directories(Root + "src/folder/inner");
  WriteFile(Root + "src/folder/inner/f.bin", "content");
  WriteFile(Root + "src/file.txt", "text");
  WriteFile(Root + "here/file.txt", "older");

  // What a file manager reads from our copy, and what we read from theirs.
  std::unique_ptr<QMimeData> ours(FilesMimeData({Path("src/folder"), Path("src/file.txt")}, false));
  EXPECT_EQ(ours->urls().size(), 2);
  EXPECT_TRUE(ours->data("x-special/gnome-copied-files").startsWith("copy\nfile://"));
  QMimeData nautilus;
  nautilus.setData("x-special/gnome-copied-files",
                   "cut\n" + QUrl::fromLocalFile(Path("src/file.txt")).toEncoded());
  const TClipboardFiles cut = ReadClipboardFiles(&nautilus);
  EXPECT_TRUE(cut.Cut);
  EXPECT_EQ(cut.Paths, QStringList{Path("src/file.txt")});
  QMimeData dolphin;
  dolphin.setUrls({QUrl::fromLocalFile(Path("src/folder")), QUrl("https://example.com/x")});
  const TClipboardFiles copied = ReadClipboardFiles(&dolphin);
  EXPECT_FALSE(copied.Cut);
  EXPECT_EQ(copied.Paths, QStringList{Path("src/folder")}) << "only local files";

  // Copy a folder and a file; the existing file is replaced only on Yes.
  const TClipboardFiles both = ReadClipboardFiles(ours.get());
  std::vector<QString> asked;
  auto refuse = [&](const QString& target) {
    asked.push_back(target);
    return false;
  };
  EXPECT_TRUE(PasteFiles(both, Path("here"), refuse).isEmpty());
  EXPECT_EQ(ReadFile(Root + "here/folder/inner/f.bin"), "content");
  EXPECT_EQ(ReadFile(Root + "here/file.txt"), "older");
  EXPECT_EQ(asked, std::vector<QString>{Path("here/file.txt")});
  EXPECT_TRUE(PasteFiles(both, Path("here"), [](const QString&) { return true; }).isEmpty());
  EXPECT_EQ(ReadFile(Root + "here/file.txt"), "text");

  // Into its own folder: a copy beside it; a folder never into itself; cut moves.
  EXPECT_TRUE(PasteFiles({{Path("src/file.txt")}, false}, Path("src"), refuse).isEmpty());
  EXPECT_EQ(ReadFile(Root + "src/file (copy).txt"), "text");
  EXPECT_EQ(PasteFiles({{Path("src/folder")}, false}, Path("src/folder/inner"), refuse).size(), 1);
  EXPECT_TRUE(PasteFiles({{Path("src/file (copy).txt")}, true}, Path("here"), refuse).isEmpty());
  EXPECT_FALSE(Exists(Root + "src/file (copy).txt"));
  EXPECT_EQ(ReadFile(Root + "here/file (copy).txt"), "text");
}

}  // namespace
}  // namespace pelmar::test
