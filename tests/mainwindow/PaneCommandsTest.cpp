// The main window's commands against a real server: both panes with the queue, Synchronize,
// and editing a server's file.

#include <gtest/gtest.h>
#include <sys/time.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>

#include "mainwindow/MainWindowFixture.h"
#include "mainwindow/SynchronizeDialog.h"
#include "support/Files.h"
#include "support/RealFtpServer.h"
#include "support/RealSshServer.h"
#include "support/ScriptedPrompter.h"
#include "text/PrivateFolder.h"
#include "views/qt/HostView.h"
#include "views/qt/LocalView.h"

namespace pelmar::test {
namespace {

namespace fs = std::filesystem;

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

// A person's way through both panes against a real server: commands that follow the current
// tab, whole folders down and up through the queue, moving on the server, sorting, deleting
// after a question, downloading by keyboard, Compare Folders, a new folder, files dropped from
// a file manager.
TEST_F(MainWindowTest, PaneCommandsAgainstARealServer) {
  TRealFtpServer server(TServerKind::Pyftpdlib);
  ASSERT_TRUE(server.Started()) << server.StartError();
  const std::string root = server.Root();
  fs::create_directories(root + "box/sub");
  fs::create_directories(root + "dest");
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "sub/inner.txt"}) {
    WriteFile(root + "box/" + name, std::string(1, name[0]));
  }
  WriteFile(root + "box/sub/big.bin", RandomBytes(300000, 1));
  const QString local = Dir.filePath("local");
  fs::create_directories((local + "/inner").toStdString());
  WriteFile(local.toStdString() + "/up.bin", "up");
  auto prompts = std::make_shared<TScriptedPrompter>();
  prompts->Answers = {false, true, false};
  SetPrompter(prompts);
  TfrmMain& window = Open();
  window.show();
  ASSERT_TRUE(window.OpenLocalFolder(local, true));
  TLocalView& localView = *window.CurrentLocalView();
  ASSERT_TRUE(RunUntil([&] { return localView.ListView()->RowCount() == 2; }));
  auto selected = [](TCustomView& view) {
    QStringList names;
    for (const QModelIndex& item : view.ListView()->SelectedItems())
      names << view.GetItemName(item);
    names.sort();
    return names;
  };
  Select(localView, {"up.bin"});
  EXPECT_FALSE(window.Action("btnUpload")->isEnabled()) << "no upload while disconnected";

  window.ConnectToUrl(QString("ftp://127.0.0.1:%1/").arg(server.Port()));
  THostView& host = *window.CurrentHostView();
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 2 && !host.Busy(); }));
  // Whole folders through the queue, byte for byte: box down here (and later its copy up).
  Select(host, {"box"});
  window.Action("btnDownload")->trigger();
  ASSERT_TRUE(QueueIdle());
  EXPECT_EQ(Tree(local.toStdString() + "/box"), Tree(root + "box"));
  ASSERT_TRUE(RunUntil([&] { return localView.ListView()->RowCount() == 3; }));
  host.ChangeFolder("/box/");
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 5 && !host.Busy(); }));
  Select(localView, {"up.bin"});
  EXPECT_TRUE(window.Action("btnUpload")->isEnabled());
  // The commands follow the current local tab: a new tab with nothing selected has nothing
  // to delete or upload, and back on the first tab its selection counts again. The only tab
  // cannot be closed.
  window.NewLocalView();
  EXPECT_FALSE(window.Action("actLocalDelete")->isEnabled());
  EXPECT_FALSE(window.Action("btnUpload")->isEnabled());
  auto* localTabs = window.findChild<QTabWidget*>("pgctrlLocal");
  localTabs->setCurrentIndex(0);
  EXPECT_TRUE(window.Action("actLocalDelete")->isEnabled());
  EXPECT_TRUE(window.Action("btnUpload")->isEnabled());
  localTabs->setCurrentIndex(1);
  window.btnLocalCloseClick();
  window.btnLocalCloseClick();
  EXPECT_EQ(window.LocalTabCount(), 1);

  // Moving: a folder never goes into itself; two files go with two renames and one refresh.
  QString answer = "/box/sub/inner";
  window.AskText = [&answer](const QString&, const QString&, const QString&) {
    return std::optional<QString>(answer);
  };
  Select(host, {"sub"});
  window.SendToHostFolder();
  EXPECT_EQ(prompts->Messages.size(), 1u) << "refused with a message";
  Select(host, {"a.txt", "b.txt"});
  answer = "/dest";
  window.SendToHostFolder();
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 3; }));
  EXPECT_TRUE(Exists(root + "dest/a.txt"));
  EXPECT_TRUE(Exists(root + "dest/b.txt"));

  // Deleting asks first, naming one file, one folder or a count: No keeps the entries, Yes
  // deletes them (a folder with its contents); Shift+Delete alone does not ask. (The
  // questions' texts: ConfirmDialogsTest.)
  auto press = [&](Qt::KeyboardModifiers modifiers) {
    QKeyEvent event(QEvent::KeyPress, Qt::Key_Delete, modifiers);
    QCoreApplication::sendEvent(host.ListView()->Details(), &event);
  };
  Select(host, {"c.txt"});
  press(Qt::NoModifier);  // No
  Select(host, {"sub"});
  window.Action("actHostDelete")->trigger();  // Yes
  ASSERT_TRUE(RunUntil([&] { return !Exists(root + "box/sub") && host.Model().rowCount() == 2; }));
  Select(host, {"c.txt", "d.txt"});
  window.ShowHostPopup(nullptr, {});
  window.HostPopup()->findChild<QAction*>("popHostDelete")->trigger();  // No
  EXPECT_EQ(prompts->Captions, (std::vector<QString>{"Confirm File Delete", "Confirm Folder Delete",
                                                     "Confirm Multiple File Delete"}));
  // Sorting moves rows, not the selection: after sorting by every column both ways the
  // selected and current entry is still the one chosen, and Delete takes that entry.
  Select(host, {"d.txt"});
  QAbstractItemView* hostList = host.ListView()->Current();
  hostList->setCurrentIndex(host.ListView()->SelectedItems().first());
  for (int column = 0; column < 4; ++column) {
    for (int click = 0; click < 2; ++click) {
      emit host.ListView()->Details()->header()->sectionClicked(column);
      const auto chosen = host.ListView()->SelectedItems();
      ASSERT_EQ(chosen.size(), 1) << column;
      EXPECT_EQ(host.GetItemName(chosen.first()), "d.txt") << column << " " << click;
      EXPECT_EQ(host.GetItemName(hostList->currentIndex()), "d.txt") << column << " " << click;
    }
  }
  press(Qt::ShiftModifier);
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 1 && !host.Busy(); }));
  EXPECT_FALSE(Exists(root + "box/d.txt"));
  EXPECT_EQ(prompts->Questions.size(), 3u) << "Shift+Delete does not ask";
  EXPECT_TRUE(Exists(root + "box/c.txt"));

  // Enter downloads, as a double click does by the default preference.
  host.ChangeFolder("/dest/");
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 2; }));
  Select(host, {"a.txt"});
  QTest::keyClick(hostList, Qt::Key_Return);
  ASSERT_TRUE(RunUntil([&] { return ReadFile(local.toStdString() + "/a.txt") == "a"; }));
  // The keyboard alone: Shift+F10 opens the popup at the current item, Ctrl+D downloads.
  Select(host, {"b.txt"});
  QTest::keyClick(hostList, Qt::Key_F10, Qt::ShiftModifier);
  ASSERT_TRUE(window.HostPopup()->isVisible());
  window.HostPopup()->hide();
  ASSERT_TRUE(window.Action("mnuHostDownload")->isEnabled());
  QApplication::setActiveWindow(&window);
  QTest::keyClick(hostList, Qt::Key_D, Qt::ControlModifier);
  ASSERT_TRUE(RunUntil([&] { return ReadFile(local.toStdString() + "/b.txt") == "b"; }));

  // Compare Folders selects what the other side lacks, in both panes; entries the mask hides
  // are no namesakes. (What counts as newer or larger: CompareOneWay.)
  ASSERT_TRUE(RunUntil([&] { return localView.ListView()->RowCount() == 5; }));
  window.CompareFolders(false, true);
  EXPECT_EQ(selected(localView), (QStringList{"box", "inner", "up.bin"}));
  EXPECT_EQ(selected(host), QStringList{});
  localView.SetMask("*.none");
  ASSERT_TRUE(RunUntil([&] { return localView.ListView()->RowCount() == 2; }));  // folders
  window.CompareFolders(true, true);
  EXPECT_EQ(selected(host), (QStringList{"a.txt", "b.txt"}));
  localView.SetMask("");

  // A new folder, named as typed.
  answer = "New stuff";
  window.Action("actHostNewFolder")->trigger();
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 3 && !host.Busy(); }));
  EXPECT_TRUE(Exists(root + "dest/New stuff"));

  // The local copy of box goes up into dest, byte for byte.
  Select(localView, {"box"});
  window.Action("btnUpload")->trigger();
  ASSERT_TRUE(QueueIdle());
  EXPECT_EQ(Tree(root + "dest/box"), Tree(local.toStdString() + "/box"));

  // Dropped from a file manager onto the server pane: uploaded through the queue, folders
  // whole; onto the local pane with Shift: moved into its folder.
  const std::string desk = Dir.filePath("desk").toStdString() + "/";
  fs::create_directories(desk + "folder/inner");
  WriteFile(desk + "folder/inner/a.bin", RandomBytes(5000, 6));
  WriteFile(desk + "note.txt", "note\n");
  DropFiles(host,
            {QString::fromStdString(desk + "folder"), QString::fromStdString(desk + "note.txt")},
            Qt::NoModifier);
  ASSERT_TRUE(QueueIdle());
  EXPECT_EQ(Tree(root + "dest/folder"), Tree(desk + "folder"));
  EXPECT_EQ(ReadFile(root + "dest/note.txt"), "note\n");
  DropFiles(localView, {QString::fromStdString(desk + "note.txt")}, Qt::ShiftModifier);
  EXPECT_EQ(ReadFile(local.toStdString() + "/note.txt"), "note\n");
  EXPECT_FALSE(Exists(desk + "note.txt"));
  SetPrompter(nullptr);
}

// The panes over SFTP, once: a site of OpenSSH's server (key log-on, its host key known), the
// listing, a whole folder down and a file up through the queue, and a delete after its
// question.
TEST_F(MainWindowTest, PanesOverSftp) {
  if (const std::string why = TRealSshServer::CannotRun(TSshServerKind::OpenSsh); !why.empty()) {
    GTEST_SKIP() << why;
  }
  TRealSshServer server(TSshServerKind::OpenSsh);
  ASSERT_TRUE(server.Started()) << server.StartError();
  server.TrustHostKey();
  const std::string root = server.Root();
  fs::create_directories(root + "box");
  WriteFile(root + "box/a.bin", RandomBytes(200000, 3));
  WriteFile(root + "gone.txt", "x");
  const QString local = Dir.filePath("local");
  fs::create_directories(local.toStdString());
  WriteFile(local.toStdString() + "/up.bin", RandomBytes(70000, 4));
  auto prompts = std::make_shared<TScriptedPrompter>();
  prompts->Answers = {true};
  SetPrompter(prompts);
  TfrmMain& window = Open();
  window.show();
  ASSERT_TRUE(window.OpenLocalFolder(local, true));
  TLocalView& localView = *window.CurrentLocalView();
  TSite site;
  site.Name = "shell";
  site.Host = "127.0.0.1";
  site.Port = std::to_string(server.Port());
  site.Protocol = prSftp;
  site.User = server.User();
  site.Password.clear();
  site.HostFolder = server.Root();  // sshd logs on into the account's home: the path is absolute
  Choose(window, site);
  window.btnConnectClick();
  THostView& host = *window.CurrentHostView();
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 2 && !host.Busy(); }, 30000));
  Select(host, {"box"});
  window.Action("btnDownload")->trigger();
  ASSERT_TRUE(QueueIdle());
  EXPECT_EQ(Tree(local.toStdString() + "/box"), Tree(root + "box"));
  ASSERT_TRUE(RunUntil([&] { return localView.ListView()->RowCount() == 2; }));
  Select(localView, {"up.bin"});
  window.Action("btnUpload")->trigger();
  ASSERT_TRUE(QueueIdle());
  EXPECT_EQ(ReadFile(root + "up.bin"), ReadFile(local.toStdString() + "/up.bin"));
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 3 && !host.Busy(); }));
  Select(host, {"gone.txt"});
  window.Action("actHostDelete")->trigger();
  ASSERT_TRUE(RunUntil([&] { return !Exists(root + "gone.txt") && host.Model().rowCount() == 2; }));
  EXPECT_EQ(prompts->Captions, std::vector<QString>{"Confirm File Delete"});
  EXPECT_EQ(window.Queue().CountInState(tsFailed), 0u);
  SetPrompter(nullptr);
}

// Synchronize: the preview shows what each direction copies, OK queues it, and the next look
// finds only what changed since. Nothing is deleted or replaced that changed after the preview,
// that one pane's mask hides, past the limit, or where a copy failed; a server that folds case
// gets its file replaced, not deleted. (The plan's rules: SyncPlanTest.)
TEST_F(MainWindowTest, SynchronizeMakesTheFoldersAlikeAndKeepsWhatItShould) {
  TRealFtpServer server(TServerKind::Pyftpdlib, {.FoldCase = true, .RefuseTransfersOf = "locked"});
  ASSERT_TRUE(server.Started()) << server.StartError();
  const std::string site = server.Root() + "site/";
  fs::create_directories(site + "sub");
  WriteFile(site + "a.txt", "a\r\nb\n");  // binary: its line ends stay
  WriteFile(site + "sub/b.bin", RandomBytes(5000, 2));
  const std::string local = Dir.filePath("mirror").toStdString() + "/";
  fs::create_directories(local);
  TfrmMain& window = Open();
  window.show();
  ASSERT_TRUE(window.OpenLocalFolder(QString::fromStdString(local), true));
  window.ConnectToUrl(QString("ftp://127.0.0.1:%1/site/").arg(server.Port()));
  THostView& host = *window.CurrentHostView();
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 2 && !host.Busy(); }));
  TTransferItems& queue = window.Queue();
  const auto idle = [&] {
    return queue.CountInState(tsPending) == 0 && queue.CountInState(tsActive) == 0 &&
           !host.Synchronizing() && !host.Busy();
  };
  // One run: the preview's rows ("Copy sub/b.bin") and summary kept, OK where it may.
  QStringList rows;
  QString summary;
  std::function<void()> afterPreview;
  auto synchronize = [&](QRadioButton* TfrmSynchronize::*direction, bool deleteExtra,
                         int maxDelete = -1) {
    window.RunSyncDialog = [&, direction, deleteExtra, maxDelete](TfrmSynchronize& dialog) {
      (dialog.*direction)->setChecked(true);
      dialog.cbDeleteExtra->setChecked(deleteExtra);
      dialog.SetMaxDelete(maxDelete);  // the last run's limit is kept
      dialog.Compare();
      rows.clear();
      QAbstractItemModel* model = dialog.lvPlan->model();
      for (int row = 0; row < model->rowCount(); ++row) {
        rows << model->index(row, 0).data().toString() + " " +
                    model->index(row, 1).data().toString();
      }
      rows.sort();  // in the order the server lists them
      summary = dialog.lblSummary->text();
      if (afterPreview) afterPreview();
      afterPreview = nullptr;
      return dialog.btnOK->isEnabled();
    };
    window.Action("mnuSynchronize")->trigger();
    return RunUntil(idle);
  };
  auto refreshed = [&](int count) {
    host.RefreshFolder();
    return RunUntil([&] { return host.Model().rowCount() == count && !host.Busy(); });
  };

  ASSERT_TRUE(synchronize(&TfrmSynchronize::rbDownload, false));
  EXPECT_EQ(rows, (QStringList{"Copy a.txt", "Copy sub/", "Copy sub/b.bin"}));
  EXPECT_EQ(summary, "2 files to copy.");
  EXPECT_EQ(Tree(local), Tree(site));
  EXPECT_EQ(host.Folder(), QString("/site/")) << "the pane is back where it was";

  // Local to server with deleting: what the local folder does not have goes from the server,
  // unless it changed after the preview; a server file that changed is not overwritten either.
  WriteFile(site + "mine.txt", "mine");
  WriteFile(site + "kept.txt", "kept");
  WriteFile(site + "theirs.txt", "theirs");
  WriteFile(local + "theirs.txt", "theirs, longer");
  ASSERT_TRUE(refreshed(5));
  afterPreview = [&] {
    WriteFile(site + "kept.txt", "changed after the preview");
    WriteFile(site + "theirs.txt", "theirs now");
  };
  ASSERT_TRUE(synchronize(&TfrmSynchronize::rbUpload, true));
  EXPECT_EQ(summary, "1 file to copy. 2 to delete.");
  EXPECT_FALSE(Exists(site + "mine.txt"));
  EXPECT_EQ(ReadFile(site + "kept.txt"), "changed after the preview");
  EXPECT_EQ(ReadFile(site + "theirs.txt"), "theirs now");
  const QString log = window.Log()->toPlainText();
  for (const char* line : {"Synchronize: kept.txt changed since the comparison",
                           "Synchronize: theirs.txt changed since the comparison",
                           "Synchronize: 0 of 1 copied, 1 of 2 deleted; 2 changed since the "
                           "comparison"}) {
    EXPECT_TRUE(log.contains(line)) << line << "\n" << log.toStdString();
  }
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 4 && !host.Busy(); }))
      << "the server pane no longer shows mine.txt";

  // More to delete than the limit: the preview says nothing will be deleted, and nothing is.
  ASSERT_TRUE(synchronize(&TfrmSynchronize::rbUpload, true, 0));
  EXPECT_EQ(summary, "1 file to copy. 1 to delete, more than 0: nothing will be deleted.");
  EXPECT_EQ(ReadFile(site + "theirs.txt"), "theirs, longer");
  EXPECT_TRUE(Exists(site + "kept.txt"));

  // A file one pane's mask hides takes no part, on either side.
  ::unlink((site + "kept.txt").c_str());
  window.CurrentLocalView()->SetMask("*.txt");
  WriteFile(site + "hidden.bin", "h");
  ASSERT_TRUE(refreshed(4));
  window.RunSyncDialog = [&](TfrmSynchronize& dialog) {
    dialog.rbBoth->setChecked(true);
    dialog.Compare();
    EXPECT_EQ(dialog.lvPlan->model()->rowCount(), 0);
    return false;
  };
  window.Action("mnuSynchronize")->trigger();
  window.CurrentLocalView()->SetMask("");

  // This server takes "README.TXT" for "readme.txt" (and "docs" for "Docs"): the upload
  // replaces the server's file and nothing of it is deleted. Where a copy fails, the old names
  // beside it stay.
  const std::string more = server.Root() + "more/";
  const std::string folded = Dir.filePath("folded").toStdString() + "/";
  for (const std::string& folder : {more + "docs", more + "jam", folded + "Docs", folded + "jam"}) {
    fs::create_directories(folder);
  }
  WriteFile(more + "README.TXT", "old");
  WriteFile(more + "docs/a.bin", "a");
  WriteFile(more + "jam/old.bin", "o");
  WriteFile(folded + "readme.txt", "new text");
  WriteFile(folded + "Docs/b.bin", "b");
  WriteFile(folded + "jam/locked.bin", "l");
  ASSERT_TRUE(window.CurrentLocalView()->ChangeFolder(QString::fromStdString(folded)));
  host.ChangeFolder("/more/");
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 3 && !host.Busy(); }));
  ASSERT_TRUE(synchronize(&TfrmSynchronize::rbUpload, true));
  const QString folding = window.Log()->toPlainText();
  EXPECT_EQ(Tree(more), (std::map<std::string, std::string>{{"README.TXT", "new text"},
                                                            {"docs", "<dir>"},
                                                            {"docs/b.bin", "b"},
                                                            {"jam", "<dir>"},
                                                            {"jam/old.bin", "o"}}))
      << folding.toStdString();
  EXPECT_TRUE(folding.contains("takes names that differ only in case")) << folding.toStdString();
  EXPECT_TRUE(folding.contains("Synchronize: jam/old.bin not deleted: a copy or listing failed"))
      << folding.toStdString();
}

// A server file opened in the editor goes back when it is saved and the person agrees. When
// someone changed the server's copy after the fetch (its size and time, or its time alone),
// the person is asked first and each answer does what it says; a save not sent back is asked
// about when Pelmar closes, where Enter keeps the window and the edit.
TEST_F(MainWindowTest, AnEditedServerFileGoesBackOnSaveUnlessSomeoneElseChangedIt) {
  TRealFtpServer server(TServerKind::Pyftpdlib);
  ASSERT_TRUE(server.Started()) << server.StartError();
  const std::string served = server.Root() + "notes.txt";
  WriteFile(served, "first\n");
  // The "editor" of the preferences appends a line and ends, as a person saving would.
  const std::string editor = Dir.filePath("editor.sh").toStdString();
  WriteFile(editor, "#!/bin/sh\nprintf 'second\\n' >> \"$1\"\n");
  ::chmod(editor.c_str(), 0755);
  Preferences().Editor = editor;
  auto prompts = std::make_shared<TScriptedPrompter>();
  prompts->Answers = {true};
  SetPrompter(prompts);
  TfrmMain& window = Open();
  window.show();
  window.ConnectToUrl(QString("ftp://127.0.0.1:%1/").arg(server.Port()));
  THostView& host = *window.CurrentHostView();
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 1 && !host.Busy(); }));
  const QString local = QString::fromStdString(PrivateFolder() + "notes.txt");
  // Edit on notes.txt, until the file is here and the server's copy has been looked at.
  auto edit = [&] {
    host.ListView()->ClearSelection();
    host.ListView()->Select(host.ListView()->Row(host.Model().FindCaption("notes.txt")), true);
    QAction* command = window.Action("mnuHostEditFile");
    // Enabled by the selection's status refresh, as for a click.
    if (!RunUntil([&] { return command->isEnabled(); })) return false;
    command->trigger();
    EXPECT_EQ(host.TransferKind, TFetchKind::Edit);
    return RunUntil(
        [&] { return host.TransferKind == TFetchKind::None && window.ServerCopyKnown(local); });
  };
  ASSERT_TRUE(edit());
  ASSERT_TRUE(RunUntil([&] { return !prompts->Questions.empty(); }));
  EXPECT_EQ(prompts->Questions[0], QString("Upload the changed file to 127.0.0.1/notes.txt?"));
  ASSERT_TRUE(RunUntil([&] { return ReadFile(served) == "first\nsecond\n"; }));
  EXPECT_TRUE(prompts->Buttons.empty()) << "nobody else changed it";

  // Someone else changes the server's copy after each fetch; the person saves "mine".
  window.StartProgram = [](const QString&, const QStringList&, const QString&) { return true; };
  const struct {
    const char* Case;
    const char* Theirs;
    bool OnlyTime;      // the same size, an hour older
    const char* Taken;  // a name already on the server
    int Choice;
    const char* Kept;    // notes.txt afterwards
    const char* MineAs;  // where the edit went; nullptr: nowhere
  } cases[] = {
      {"replace theirs", "their change\n", false, nullptr, 0, "mine\n", "notes.txt"},
      {"keep theirs, the new name taken", "their change\n", false, "notes (edited).txt", 1,
       "their change\n", "notes (edited 2).txt"},
      {"only the time changed; cancel", "FIRST\n", true, nullptr, 2, "FIRST\n", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    WriteFile(served, "first\n");
    if (c.Taken) WriteFile(server.Root() + c.Taken, "someone's\n");
    ASSERT_TRUE(edit());
    WriteFile(served, c.Theirs);
    if (c.OnlyTime) {
      const std::time_t older = std::time(nullptr) - 3600;
      const timeval times[2] = {{older, 0}, {older, 0}};
      ::utimes(served.c_str(), times);
    }
    const size_t asked = prompts->Buttons.size();
    prompts->Answers = {true};
    prompts->Choices = {c.Choice};
    prompts->Messages.clear();
    WriteFile(local.toStdString(), "mine\n");
    ASSERT_TRUE(RunUntil([&] { return prompts->Buttons.size() == asked + 1; }));
    EXPECT_EQ(
        prompts->Buttons.back(),
        (QStringList{"&Replace theirs", "&Keep theirs and save mine as a new name", "Cancel"}));
    EXPECT_TRUE(prompts->Questions.back().startsWith(
        "127.0.0.1/notes.txt was changed on the server after you fetched it for editing."))
        << prompts->Questions.back().toStdString();
    if (c.MineAs) {
      ASSERT_TRUE(RunUntil([&] { return window.ServerCopyKnown(local); }));
      EXPECT_EQ(ReadFile(server.Root() + c.MineAs), "mine\n");
    }
    EXPECT_EQ(ReadFile(served), c.Kept);
    if (c.Taken) {
      EXPECT_EQ(ReadFile(server.Root() + c.Taken), "someone's\n");
    }
    // A new name is told, and the pane lists it.
    const bool renamed = c.MineAs && std::string(c.MineAs) != "notes.txt";
    ASSERT_EQ(prompts->Messages.size(), renamed ? 1u : 0u);
    if (renamed) {
      EXPECT_TRUE(prompts->Messages[0].contains(QString("saved as \"%1\"").arg(c.MineAs)))
          << prompts->Messages[0].toStdString();
      EXPECT_TRUE(RunUntil([&] { return host.Model().FindCaption(c.MineAs) >= 0; }));
    }
  }

  // The last edit was kept here: closing asks, and Enter keeps the window.
  const size_t asked = prompts->Buttons.size();
  EXPECT_FALSE(window.close());
  ASSERT_EQ(prompts->Buttons.size(), asked + 1);
  EXPECT_EQ(prompts->Questions.back(),
            QString("1 edited file was not uploaded to the server. Quit anyway?"));
  EXPECT_EQ(ReadFile(served), "FIRST\n");
  SetPrompter(nullptr);
}

}  // namespace
}  // namespace pelmar::test
