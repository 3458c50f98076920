// The main window: what it keeps between runs, the last connections, the connection flow and
// the pane commands against a real server, Synchronize, editing a server's file, closing while
// transfers run and continuing them; and the real program started with an address.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <sys/time.h>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <ctime>
#include <filesystem>

#include "mainwindow/MainWindow.h"
#include "mainwindow/MainWindowFixture.h"
#include "mainwindow/SynchronizeDialog.h"
#include "settings/Preferences.h"
#include "settings/SiteFile.h"
#include "support/Files.h"
#include "support/RealFtpServer.h"
#include "support/ScriptedPrompter.h"
#include "text/PrivateFolder.h"
#include "transfers/qt/TransferListModel.h"
#include "ui/ActivityAnimation.h"
#include "ui/CertificateDialog.h"
#include "views/qt/HostView.h"
#include "views/qt/LocalView.h"
#include "views/qt/PaneFixture.h"

extern char** environ;

namespace pelmar::test {
namespace {

namespace fs = std::filesystem;

TEST(LastConnections, MostRecentFirst) {
  using TSlots = std::array<QString, 8>;
  const struct {
    TSlots Before;
    const char* Name;
    TSlots After;
  } cases[] = {
      {{"A", "B", "C"}, "B", {"B", "A", "C"}},
      {{"A", "B", "C"}, "A", {"A", "B", "C"}},
      {{"A", "B", "C"}, "D", {"D", "A", "B", "C"}},
      {{"1", "2", "3", "4", "5", "6", "7", "8"}, "9", {"9", "1", "2", "3", "4", "5", "6", "7"}},
      {{"1", "2", "3", "4", "5", "6", "7", "8"}, "8", {"8", "1", "2", "3", "4", "5", "6", "7"}},
      {{}, "a", {"a"}},
  };
  for (const auto& c : cases) {
    TSlots entries = c.Before;
    AddLastConnection(entries, c.Name);
    EXPECT_EQ(entries, c.After) << c.Name;
  }
}

// What a run leaves, the next one finds: place and size (a maximised window keeps its normal
// bounds), the toolbar's size, view styles and sort orders, the local folder, the last
// connections.
TEST_F(MainWindowTest, WhatARunLeavesTheNextFinds) {
  {
    TfrmMain& window = Open();
    window.show();
    EXPECT_EQ(window.size(), QSize(634, 469)) << "the pane rows do not widen the first run";
    EXPECT_FALSE(window.findChild<QMenu*>("mnuLastConnect")->isEnabled());
    window.AddLastConnection("Work");
    window.AddLastConnection("Home");
    window.MoveToolbarBar(28);
    EXPECT_FALSE(window.LargeToolbar()) << "34 + 28 stays small";
    window.MoveToolbarBar(29);
    EXPECT_TRUE(window.LargeToolbar());
    window.setGeometry(40, 50, 900, 700);
    ASSERT_TRUE(window.OpenLocalFolder(Dir.path(), true));
    window.CurrentHostView()->SetSort(-4);  // newest first
    window.close();
  }
  Settings->setValue("Windows/Main/LocalViewStyle", "3");
  Settings->setValue("Windows/Main/HostViewStyle", "0x0");
  Settings->setValue("Windows/Main/LocalSort", "7");  // not a column: by name
  TfrmMain& again = Open();
  EXPECT_EQ(again.geometry(), QRect(40, 50, 900, 700));
  EXPECT_TRUE(again.LargeToolbar());
  EXPECT_EQ(again.CurrentLocalView()->ListView()->ViewStyle(), TViewStyle::Details);
  EXPECT_EQ(again.CurrentHostView()->ListView()->ViewStyle(), TViewStyle::LargeIcons);
  EXPECT_EQ(again.CurrentHostView()->ListView()->SortKey(), -4);
  EXPECT_EQ(again.CurrentLocalView()->ListView()->SortKey(), 1);
  again.show();
  EXPECT_EQ(QDir(again.CurrentLocalView()->Folder()), QDir(Dir.path()));
  auto* last = again.findChild<QMenu*>("mnuLastConnect");
  EXPECT_EQ(last->actions()[0]->text(), "&1 Home");
  EXPECT_TRUE(last->actions()[1]->isVisible());
  EXPECT_FALSE(last->actions()[2]->isVisible());
  again.setWindowState(Qt::WindowMaximized);
  again.close();
  EXPECT_EQ(Settings->value("Windows/Main/State").toString(), "2");
  EXPECT_EQ(Settings->value("Windows/Main/Width").toString(), "900");
}

// Connecting by address and by site, several connections side by side, a password asked for
// or refused, a connection that fails; each tab's log, and the log kept, saved and written.
TEST_F(MainWindowTest, ConnectionFlowAgainstARealServer) {
  TRealFtpServer server(TServerKind::Pyftpdlib);
  ASSERT_TRUE(server.Started()) << server.StartError();
  fs::create_directories(server.Root() + "pub");
  const std::string content = RandomBytes(70000, 5);
  WriteFile(server.Root() + "pub/wanted.bin", content);
  const QString local = Dir.filePath("local");
  fs::create_directories(local.toStdString());
  auto prompts = std::make_shared<TScriptedPrompter>();
  SetPrompter(prompts);
  TfrmMain& window = Open();
  window.show();
  ASSERT_TRUE(window.OpenLocalFolder(local, true));
  const QString url = QString("ftp://127.0.0.1:%1/pub/").arg(server.Port());

  // An address naming a file: connected, the folder shown, the file downloaded here.
  window.ConnectToUrl(url + "wanted.bin");
  EXPECT_EQ(window.HostTabCaption(0), "127.0.0.1");
  EXPECT_EQ(window.windowTitle(), "127.0.0.1 - Pelmar");
  ASSERT_TRUE(RunUntil([&] { return ReadFile(local.toStdString() + "/wanted.bin") == content; }));
  EXPECT_EQ(window.ConnectedViews(), 1);
  EXPECT_TRUE(window.Action("mnuDisconnect")->isEnabled());
  QPlainTextEdit& log = *window.Log();
  const auto logged = [&log](const char* line) {
    return log.toPlainText().split('\n').contains(line);
  };
  EXPECT_TRUE(logged("CWD pub/")) << "the address's folder lies in the log-on folder";

  // A second connection never replaces a live one; New View opens the same folder.
  window.ConnectToUrl(url);
  EXPECT_EQ(window.HostTabCount(), 2);
  ASSERT_TRUE(RunUntil([&] { return window.ConnectedViews() == 2; }));
  window.CurrentHostView()->ChangeFolder("/");
  ASSERT_TRUE(RunUntil([&] {
    return window.CurrentHostView()->Folder() == "/" &&
           window.CurrentHostView()->Model().rowCount() == 1;
  }));
  // Each tab keeps its own log; switching shows it.
  auto* tabs = window.findChild<QTabWidget*>("pgctrlHost");
  EXPECT_TRUE(logged("CWD /"));
  tabs->setCurrentIndex(0);
  EXPECT_FALSE(logged("CWD /"));
  tabs->setCurrentIndex(1);
  window.btnHostNewClick();
  EXPECT_EQ(window.HostTabCount(), 3);
  ASSERT_TRUE(RunUntil([&] {
    return window.ConnectedViews() == 3 && window.CurrentHostView()->Model().rowCount() == 1;
  }));
  EXPECT_EQ(window.CurrentHostView()->Folder(), "/") << "the folder of the view it was made from";
  window.btnHostCloseClick();
  EXPECT_EQ(window.HostTabCount(), 2);
  EXPECT_EQ(window.ConnectedViews(), 2);
  window.btnDisconnectClick();
  ASSERT_TRUE(RunUntil([&] { return window.ConnectedViews() == 1; }));
  EXPECT_EQ(window.windowTitle(), "Disconnected - Pelmar");
  EXPECT_FALSE(window.Action("mnuDisconnect")->isEnabled()) << "nothing left to disconnect";

  // Sites: an empty password is asked for only with PromptForPass; the site's local folders.
  const QString second = Dir.filePath("second");
  fs::create_directories(second.toStdString());
  TSite site = SiteFor(server, "Test site");
  site.Password.clear();
  site.LocalFolder1 = local.toStdString();
  site.LocalFolder2 = second.toStdString();
  Choose(window, site);
  int asked = 0;
  window.AskPassword = [&asked](const QString&) {
    ++asked;
    return QString(TRealFtpServer::kPassword);
  };
  Preferences().PromptForPass = false;
  window.btnConnectClick();
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(window.windowTitle(), "Test site - Pelmar");
  EXPECT_FALSE(window.CurrentHostView()->Connected()) << "no password, no connection";
  Preferences().PromptForPass = true;
  window.btnConnectClick();
  EXPECT_EQ(asked, 1);
  ASSERT_TRUE(RunUntil([&] { return window.CurrentHostView()->Connected(); }));
  EXPECT_EQ(window.LastConnections()[0], "Test site");
  EXPECT_EQ(window.CurrentLocalView()->Folder(), local + "/");
  EXPECT_EQ(window.findChild<QTabWidget*>("pgctrlLocal")->count(), 2)
      << "the site's second local folder opens in a tab of its own";

  // A refused password is said in a box that offers to type it again: the same connection
  // (in a tab of its own) then logs on.
  site.Password = "wrong";
  prompts->Choices = {0};
  window.btnConnectClick();
  ASSERT_TRUE(RunUntil([&] { return asked == 2 && window.CurrentHostView()->Connected(); }));
  EXPECT_EQ(prompts->Captions.back(), "Failed to Log in to Host");
  EXPECT_EQ(window.windowTitle(), "Test site - Pelmar") << "no longer \"Disconnected\"";
  EXPECT_EQ(prompts->Buttons.back(), (QStringList{"Enter &Password", "Open &Site", "Cancel"}));

  // A connection that fails leaves the tab disconnected.
  window.ConnectToUrl("ftp://127.0.0.1:1/");
  ASSERT_TRUE(
      RunUntil([&] { return window.HostTabCaption(window.HostTabCount() - 1) == "Disconnected"; }));
  EXPECT_EQ(prompts->Captions.size(), 1u) << "only a refused log-on asks";

  // The log keeps its newest lines; saving empties it (a folder that is not there is said,
  // and nothing is lost); at close the log file is replaced by what was logged since.
  for (int line = 0; line < 805; ++line) window.AppendToLog(QString::number(line));
  EXPECT_EQ(log.document()->blockCount(), THostView::kMaxLogEntries);
  EXPECT_EQ(log.textCursor().selectedText(), "804") << "the newest line is highlighted";
  const QString missing = Dir.filePath("no/such/folder/pelmar.log");
  Preferences().LogFile = missing.toStdString();
  window.popSaveLogClick();
  EXPECT_EQ(prompts->Messages, std::vector<QString>{"Cannot create file " + missing});
  EXPECT_EQ(log.document()->blockCount(), THostView::kMaxLogEntries) << "left as it was";
  const std::string saved = Dir.filePath("pelmar.log").toStdString();
  Preferences().LogFile = saved;
  window.popSaveLogClick();
  EXPECT_TRUE(ReadFile(saved).ends_with("803\n804\n"));
  emit window.LogPopup()->aboutToShow();
  EXPECT_FALSE(window.LogPopup()->findChild<QAction*>("popSaveLog")->isEnabled());
  window.AppendToLog("after");
  Preferences().LogToFile = true;
  window.close();
  EXPECT_EQ(ReadFile(saved), "after\n");
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

  // Both ways: each side gets what it lacks.
  WriteFile(local + "mine.txt", "mine");
  WriteFile(site + "theirs.txt", "theirs");
  ASSERT_TRUE(refreshed(3));
  ASSERT_TRUE(synchronize(&TfrmSynchronize::rbBoth, false));
  EXPECT_EQ(rows, (QStringList{"Download theirs.txt", "Upload mine.txt"}));
  EXPECT_EQ(ReadFile(site + "mine.txt"), "mine");
  EXPECT_EQ(ReadFile(local + "theirs.txt"), "theirs");

  // Local to server with deleting: what the local folder no longer has goes from the server,
  // unless it changed after the preview; a server file that changed is not overwritten either.
  ::unlink((local + "mine.txt").c_str());
  WriteFile(local + "theirs.txt", "theirs, longer");
  WriteFile(site + "kept.txt", "kept");
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
      {"keep theirs", "their change\n", false, nullptr, 1, "their change\n", "notes (edited).txt"},
      {"keep theirs, the new name taken", "their change\n", false, "notes (edited).txt", 1,
       "their change\n", "notes (edited 2).txt"},
      {"only the time changed; cancel", "FIRST\n", true, nullptr, 2, "FIRST\n", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    WriteFile(served, "first\n");
    std::filesystem::remove(server.Root() + "notes (edited).txt");
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

// A server that lists in its own zone's time, two hours behind this computer's clock: the
// first listing of the site asks one file's exact time and offers the offset once.
TEST_F(MainWindowTest, ASiteWhoseServerListsInAnotherZoneIsOfferedItsOffset) {
  ::setenv("TZ", "UTC0", 1);
  ::tzset();
  TRealFtpServer server(TServerKind::Pyftpdlib, {.ListOffsetMinutes = -120});
  ASSERT_TRUE(server.Started()) << server.StartError();
  const std::time_t written = std::time(nullptr) / 60 * 60 - 3600;  // an hour ago, to the minute
  WriteFile(server.Root() + "recent.txt", "x");
  const timeval times[2] = {{written, 0}, {written, 0}};
  ::utimes((server.Root() + "recent.txt").c_str(), times);
  const TSite site = SiteFor(server, "Zone");
  SaveSite(site);
  auto prompts = std::make_shared<TScriptedPrompter>();
  prompts->Answers = {true};
  SetPrompter(prompts);
  TfrmMain& window = Open();
  window.show();
  Choose(window, site);
  window.btnConnectClick();
  ASSERT_TRUE(RunUntil([&] { return !prompts->Questions.empty(); }));
  EXPECT_EQ(prompts->Questions[0],
            "The times 127.0.0.1 lists are 2 hours behind this computer's clock. Set the server "
            "time zone offset of the site \"Zone\" to -2 hours?");
  THostView& host = *window.CurrentHostView();
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 1 && !host.Busy(); }));
  EXPECT_EQ(host.GetItemDate(host.ListView()->Row(0)).toSecsSinceEpoch(), written)
      << "shown in this computer's time";
  TSiteFile again(Dir.filePath("Sites.ini").toStdString(), nullptr);
  again.Open();
  const TSite read = again.ReadSite("Zone", "");
  EXPECT_EQ(read.TimeOffsetMinutes, -120);
  EXPECT_TRUE(read.TimeZoneChecked);
  SetPrompter(nullptr);
  ::unsetenv("TZ");
  ::tzset();
}

TEST_F(MainWindowTest, TlsFromAnAddressAndASiteWithTheCertificateQuestion) {
  TTlsCertificates certificates;
  ASSERT_TRUE(certificates.Made());
  TRealFtpServer server(TServerKind::Pyftpdlib,
                        {.Certificate = certificates.File("selfsigned"), .ImplicitTls = false});
  ASSERT_TRUE(server.Started()) << server.StartError();
  WriteFile(server.Root() + "secret.txt", "s");
  TfrmMain& window = Open();
  window.show();
  TdlgCertificate::InstallAsCertificateHook(&window);
  window.ConnectToUrl(QString("ftpes://%1:%2@127.0.0.1:%3/")
                          .arg(TRealFtpServer::kUser, TRealFtpServer::kPassword)
                          .arg(server.Port()));
  TdlgCertificate* question = nullptr;
  ASSERT_TRUE(RunUntil([&] { return (question = window.findChild<TdlgCertificate*>()); }));
  question->findChild<QPushButton*>("btnTrustOnce")->click();
  ASSERT_TRUE(RunUntil([&] { return window.CurrentHostView()->Model().rowCount() == 1; }));
  const QString log = window.findChild<QPlainTextEdit*>("memoLog")->toPlainText();
  EXPECT_TRUE(log.contains("TLS connection established")) << log.toStdString();
  EXPECT_TRUE(log.contains("PROT P"));

  // A site that asks for TLS: the certificate trusted once is not asked about again.
  TSite site = SiteFor(server, "Secure");
  site.Encryption = enExplicitTls;
  Choose(window, site);
  window.btnConnectClick();
  ASSERT_TRUE(RunUntil([&] { return window.CurrentHostView()->Model().rowCount() == 1; }));
  EXPECT_TRUE(window.findChildren<TdlgCertificate*>().isEmpty()) << "not asked again";
}

// What a screen reader or a keyboard user meets: every control that takes input has a name,
// every menu command a mnemonic or a shortcut, and F6 moves between the panes.
TEST_F(MainWindowTest, EveryControlHasANameAndEveryCommandAKey) {
  TfrmMain& window = Open();
  window.show();
  window.Action("btnTransferMng")->trigger();  // the transfer manager is walked too
  QStringList unnamed;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (!top->isVisible()) continue;
    for (QWidget* widget : top->findChildren<QWidget*>()) {
      const bool control = qobject_cast<QAbstractButton*>(widget) ||
                           qobject_cast<QComboBox*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                           qobject_cast<QAbstractItemView*>(widget) ||
                           qobject_cast<QPlainTextEdit*>(widget) || qobject_cast<QTabBar*>(widget);
      // A list's column header is announced through its sections.
      if (!control || !widget->isVisibleTo(top) || qobject_cast<QHeaderView*>(widget)) continue;
      QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
      if (!accessible || accessible->text(QAccessible::Name).trimmed().isEmpty()) {
        unnamed << widget->objectName() + " (" + widget->metaObject()->className() + ")";
      }
    }
  }
  EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
  QStringList keyless;
  for (QMenu* menu : window.menuBar()->findChildren<QMenu*>()) {
    for (QAction* action : menu->actions()) {
      if (action->isSeparator() || action->menu() || !action->isVisible()) continue;
      if (!action->text().contains('&') && action->shortcut().isEmpty()) {
        keyless << "\"" + action->text() + "\" (" + action->objectName() + ")";
      }
    }
  }
  EXPECT_TRUE(keyless.isEmpty()) << keyless.join(", ").toStdString();

  QApplication::setActiveWindow(&window);
  window.CurrentLocalView()->ListView()->Current()->setFocus();
  QAction* nextPane = window.Action("actNextPane");
  EXPECT_EQ(nextPane->shortcut(), QKeySequence(Qt::Key_F6));
  nextPane->trigger();
  EXPECT_TRUE(window.findChild<QWidget*>("pnlHost")->isAncestorOf(window.focusWidget()))
      << "the disconnected server pane's tabs";
  nextPane->trigger();
  EXPECT_TRUE(window.CurrentLocalView()->ListView()->isAncestorOf(window.focusWidget()));

  // One command, one action: a menu item of a command with a button is that button's action,
  // so the two can never do different things; the File menu and its keys reach the command.
  QStringList apart;
  for (const auto& [item, button] : std::initializer_list<std::pair<const char*, const char*>>{
           {"mnuConnect", "btnConnect"},
           {"mnuConnectURL", "btnConnectURL"},
           {"mnuStop", "btnStop"},
           {"mnuDisconnect", "btnDisconnect"},
           {"mnuShowTransferManager", "btnTransferMng"},
           {"mnuMaximizeHost", "BtnMaximizeHost"},
           {"mnuShowLog", "btnShowLog"},
           {"mnuExplorer", "btnExplorer"},
           {"mnuHostRefresh", "btnHostRefresh"},
           {"mnuHostNewFolder", "btnHostNewFolder"},
           {"mnuHostRename", "btnHostRename"},
           {"mnuHostDelete", "btnHostDelete"},
           {"mnuHostMask", "btnHostMask"},
           {"mnuLocalRefresh", "btnLocalRefresh"},
           {"mnuLocalNewFolder", "btnLocalNewFolder"},
           {"mnuLocalRename", "btnLocalRename"},
           {"mnuLocalDelete", "btnLocalDelete"},
           {"mnuLocalMask", "btnLocalMask"},
           {"mnuLocalUpload", "btnUpload"},
           {"mnuHostDownload", "btnDownload"}}) {
    auto* widget = window.findChild<QToolButton*>(button);
    if (!widget || widget->defaultAction() != window.Action(item)) apart << item;
  }
  EXPECT_TRUE(apart.isEmpty()) << apart.join(", ").toStdString();
  int chosen = 0;
  window.ChooseSite = [&chosen](TSite&) {
    ++chosen;
    return false;
  };
  window.Action("mnuConnect")->trigger();
  EXPECT_EQ(chosen, 1);
  QTest::keyClick(&window, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(chosen, 2) << "Ctrl+Shift+C";
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

// A person's way through both panes against a real server: local navigation, commands that
// follow the current tab, whole folders down and up through the queue, the clipboard, moving
// on the server, sorting, deleting after a question, downloading by mouse and keyboard,
// Compare Folders, a new folder, files dropped from a file manager, the transfer manager.
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

  // The folder box, the tab's caption and Up follow the local list wherever the keys take it.
  auto* localBox = window.findChild<QComboBox*>("cmboLocalTree");
  auto* localTabs = window.findChild<QTabWidget*>("pgctrlLocal");
  Select(localView, {"inner"});
  QTest::keyClick(localView.ListView()->Current(), Qt::Key_Return);
  EXPECT_EQ(localBox->currentText(), local + "/inner/");
  EXPECT_EQ(localTabs->tabText(localTabs->currentIndex()), "inner");
  QTest::keyClick(localView.ListView()->Current(), Qt::Key_Backspace);
  EXPECT_EQ(localBox->currentText(), local + "/");
  ASSERT_TRUE(localView.ChangeFolder("/"));
  EXPECT_EQ(localTabs->tabText(localTabs->currentIndex()), "/");
  EXPECT_FALSE(window.Action("actLocalUp")->isEnabled()) << "nothing above the root";
  ASSERT_TRUE(localView.ChangeFolder(local));
  ASSERT_TRUE(RunUntil([&] { return localView.ListView()->RowCount() == 2; }));
  Select(localView, {"up.bin"});
  EXPECT_FALSE(window.Action("btnUpload")->isEnabled()) << "no upload while disconnected";

  const QString url = QString("ftp://127.0.0.1:%1/").arg(server.Port());
  window.ConnectToUrl(url);
  THostView& host = *window.CurrentHostView();
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 2 && !host.Busy(); }));
  // Whole folders through the queue, byte for byte: box down here (and later its copy up).
  TTransferItems& queue = window.Queue();
  const auto queueIdle = [&] {
    return RunUntil(
        [&] { return queue.CountInState(tsPending) == 0 && queue.CountInState(tsActive) == 0; },
        60000);
  };
  Select(host, {"box"});
  window.Action("btnDownload")->trigger();
  ASSERT_TRUE(queueIdle());
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
  EXPECT_EQ(window.CurrentLocalView()->Folder(), local + "/") << "a new view shows the folder";
  EXPECT_FALSE(window.Action("actLocalDelete")->isEnabled());
  EXPECT_FALSE(window.Action("btnUpload")->isEnabled());
  localTabs->setCurrentIndex(0);
  EXPECT_TRUE(window.Action("actLocalDelete")->isEnabled());
  EXPECT_TRUE(window.Action("btnUpload")->isEnabled());
  localTabs->setCurrentIndex(1);
  window.btnLocalCloseClick();
  window.btnLocalCloseClick();
  EXPECT_EQ(window.LocalTabCount(), 1);

  Select(host, {"a.txt", "b.txt"});
  window.SendToClipboard(false);
  EXPECT_EQ(QApplication::clipboard()->text(), "/box/a.txt\r\n/box/b.txt");
  window.SendToClipboard(true);
  // Absolute paths: "%2F" after the host's "/".
  EXPECT_EQ(QApplication::clipboard()->text(), url + "%2Fbox/a.txt\r\n" + url + "%2Fbox/b.txt");

  // Moving: the same folder typed without its separator does nothing; a folder never goes
  // into itself; two files go with two renames and one refresh.
  QString answer = "/box";
  window.AskText = [&answer](const QString&, const QString&, const QString&) {
    return std::optional<QString>(answer);
  };
  window.SendToHostFolder();
  Select(host, {"sub"});
  answer = "/box/sub/inner";
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

  // A double click downloads by the default preference; it is the popup's default item.
  host.ChangeFolder("/dest/");
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 2; }));
  window.ShowHostPopup(nullptr, {});
  EXPECT_EQ(window.HostPopup()->defaultAction()->objectName(), "popHostDownload");
  // Enter does what a double click does; one that cannot run says why.
  Select(host, {"a.txt"});
  host.Animating = true;
  QTest::keyClick(hostList, Qt::Key_Return);
  host.Animating = false;
  host.RefreshStatus();
  EXPECT_TRUE(window.findChild<QLabel*>("barStatusPanel1")
                  ->text()
                  .startsWith("Cannot download: the server connection is busy"));
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
  // The download's connection stays for the next transfer until it is let go.
  QAction* letGo = window.Action("mnuDisconnectTransfer");
  ASSERT_TRUE(RunUntil([&] { return letGo->isEnabled(); }));
  letGo->trigger();
  EXPECT_FALSE(letGo->isEnabled());

  // Compare Folders selects what the other side lacks, in both panes; entries the mask hides
  // are no namesakes. (What counts as newer or larger: CompareOneWay.)
  ASSERT_TRUE(RunUntil([&] { return localView.ListView()->RowCount() == 5; }));
  EXPECT_TRUE(window.Action("mnuCompareFolders")->isEnabled());
  window.CompareFolders(false, true);
  EXPECT_EQ(selected(localView), (QStringList{"box", "inner", "up.bin"}));
  EXPECT_EQ(selected(host), QStringList{});
  localView.SetMask("*.none");
  ASSERT_TRUE(RunUntil([&] { return localView.ListView()->RowCount() == 2; }));  // folders
  window.CompareFolders(true, true);
  EXPECT_EQ(selected(host), (QStringList{"a.txt", "b.txt"}));
  localView.SetMask("");

  // A new folder: the folder box keeps naming the folder (a rename's place in the list:
  // HostViewTest).
  answer = "New stuff";
  window.Action("actHostNewFolder")->trigger();
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 3 && !host.Busy(); }));
  EXPECT_TRUE(Exists(root + "dest/New stuff"));
  EXPECT_EQ(window.findChild<QComboBox*>("cmboHostTree")->currentText(), "/dest/");

  // The local copy of box goes up into dest, byte for byte.
  Select(localView, {"box"});
  window.Action("btnUpload")->trigger();
  ASSERT_TRUE(queueIdle());
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
  ASSERT_TRUE(queueIdle());
  EXPECT_EQ(Tree(root + "dest/folder"), Tree(desk + "folder"));
  EXPECT_EQ(ReadFile(root + "dest/note.txt"), "note\n");
  DropFiles(localView, {QString::fromStdString(desk + "note.txt")}, Qt::ShiftModifier);
  EXPECT_EQ(ReadFile(local.toStdString() + "/note.txt"), "note\n");
  EXPECT_FALSE(Exists(desk + "note.txt"));

  // The transfer manager shows the downloads; its close box releases the toggle.
  window.Action("mnuShowTransferManager")->trigger();
  TfrmTransferMngr& manager = window.TransferManager();
  EXPECT_TRUE(manager.isVisible());
  EXPECT_TRUE(window.Action("btnTransferMng")->isChecked());
  EXPECT_EQ(manager.Rows().StatusAt(0), "Done");
  EXPECT_TRUE(window.Action("mnuShowTransferInfo")->isEnabled()) << "after the first transfer";
  manager.close();
  EXPECT_FALSE(window.Action("mnuShowTransferManager")->isChecked());
  EXPECT_FALSE(window.Action("btnTransferMng")->isChecked());
  SetPrompter(nullptr);
}

// Closing the window while downloads run asks first. No keeps the window and the transfers;
// Yes cancels them, closes the progress window and the transfer manager, and the program ends.
// The queue is kept on disk: what a quit stopped is offered at every next start and continues
// from what arrived, anonymous or with a named log-on whose password the site file gives or
// the person is asked for once. That question runs an event loop of its own (as the real box
// does): nothing of the queue may run or change under it while the rows are put back. What
// the person cancelled is not offered again.
TEST_F(MainWindowTest, ClosingWhileTransfersRunAsksAndTheNextStartsContinueThem) {
  TRealFtpServer server(TServerKind::Pyftpdlib);
  ASSERT_TRUE(server.Started()) << server.StartError();
  const std::vector<std::string> names = {"b0", "b1", "b2"};
  for (const std::string& name : names) {
    WriteFile(server.Root() + name, "");
    ASSERT_EQ(::truncate((server.Root() + name).c_str(), int64_t{1} << 32), 0);  // stay running
  }
  const std::string local = Dir.filePath("local").toStdString() + "/";
  fs::create_directories(local);
  const std::string kept = Dir.filePath("queue.sqlite3").toStdString();
  Preferences().SimultaneousTransfers = 3;
  auto prompts = std::make_shared<TScriptedPrompter>();
  prompts->Answers = {false, true};
  SetPrompter(prompts);
  TfrmMain& window = Open();
  window.KeepQueueIn(kept);
  window.show();
  ASSERT_TRUE(window.OpenLocalFolder(QString::fromStdString(local), true));
  // b0 anonymously; b1 and b2 with the named log-on, in a tab of its own.
  const QString named = QString("%1:%2@").arg(TRealFtpServer::kUser, TRealFtpServer::kPassword);
  for (const QString& account : {QString(), named}) {
    window.ConnectToUrl("ftp://" + account + QString("127.0.0.1:%1/").arg(server.Port()));
    THostView& host = *window.CurrentHostView();
    ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 3 && !host.Busy(); }));
    Select(host, account.isEmpty() ? QStringList{"b0"} : QStringList{"b1", "b2"});
    window.Action("btnDownload")->trigger();
  }
  TTransferItems& queue = window.Queue();
  const auto allRun = [](TTransferItems& items) {
    for (int i = 0; i < items.Count(); ++i) {
      if (items.Item(i).State != tsActive || items.Item(i).BytesDone == 0) return false;
    }
    return items.Count() == 3;
  };
  ASSERT_TRUE(RunUntil([&] { return allRun(queue); }));
  // The batch reports in the status bar's middle panel and turns the toolbar animation.
  auto* middle = window.findChild<QLabel*>("barStatusPanel1");
  EXPECT_TRUE(RunUntil([&] { return middle->text().contains("% Transferred"); }));
  EXPECT_TRUE(window.findChild<TActivityAnimation*>("aviActivity")->Active());
  window.Action("mnuShowTransferManager")->trigger();
  ASSERT_TRUE(window.TransferManager().isVisible());
  ASSERT_TRUE(window.ProgressWindow().isVisible());

  EXPECT_FALSE(window.close());
  EXPECT_EQ(prompts->Questions,
            std::vector<QString>{"Transfers are still running. Quit and stop them? They can be "
                                 "continued at the next start."});
  EXPECT_TRUE(window.isVisible());
  const int64_t done = queue.Item(0).BytesDone;
  EXPECT_TRUE(RunUntil([&] { return queue.Item(0).BytesDone > done; })) << "still running";

  // The application's own loop ends by itself once the window is closed.
  QTimer::singleShot(0, &window, [&window] { window.close(); });
  QTimer giveUp;
  giveUp.setSingleShot(true);
  QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  giveUp.start(15000);
  EXPECT_EQ(QApplication::exec(), 0) << "the program would have stayed";
  giveUp.stop();
  EXPECT_EQ(prompts->Questions.size(), 2u);
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(window.ProgressWindow().isVisible());
  EXPECT_FALSE(window.TransferManager().isVisible());
  EXPECT_EQ(queue.CountInState(tsActive) + queue.CountInState(tsPending), 0);
  EXPECT_EQ(queue.Item(0).State, tsCancelled);

  for (const bool sitePassword : {false, true}) {
    SCOPED_TRACE(sitePassword ? "the site file's password" : "the password asked for");
    if (sitePassword) {
      SaveSite(SiteFor(server, "Named"));
    }
    std::vector<int64_t> arrived;
    for (const std::string& name : names) arrived.push_back(SizeOf(local + name));
    Window.reset();
    prompts->Questions.clear();
    prompts->Answers = {true, true};  // continue them; quit while they run
    TfrmMain& next = Open();
    int asked = 0;
    next.AskPassword = [&](const QString&) {
      ++asked;
      for (int turn = 0; turn < 20; ++turn) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      }
      return QString(TRealFtpServer::kPassword);
    };
    next.KeepQueueIn(kept);
    next.show();  // offers what was left once it is shown
    ASSERT_TRUE(RunUntil([&] { return !prompts->Questions.empty(); }));
    EXPECT_EQ(asked, sitePassword ? 0 : 1);
    TTransferItems& again = next.Queue();
    ASSERT_EQ(again.Count(), 3);
    EXPECT_EQ(again.Item(0).Site().Password, Preferences().EMail) << "anonymous";
    EXPECT_TRUE(RunUntil([&] { return allRun(again); })) << "every item runs again";
    for (size_t i = 0; i < names.size(); ++i) {
      // (A stopped connection's worker may have written its last buffer since.)
      EXPECT_GE(again.Item(static_cast<int>(i)).RestartOffset, arrived[i]) << names[i];
      EXPECT_GT(arrived[i], 0) << names[i];
    }
    if (!sitePassword) {
      EXPECT_TRUE(next.close());
    } else {
      again.CancelAll();
      EXPECT_TRUE(RunUntil([&] { return again.CountInState(tsActive) == 0; }));
    }
  }
  Window.reset();
  prompts->Questions.clear();
  Open().KeepQueueIn(kept);
  Window->OfferUnfinishedTransfers();
  EXPECT_TRUE(prompts->Questions.empty()) << "cancelled by the person: not offered again";
  SetPrompter(nullptr);
}

using PelmarProgram = PaneTest;

// An address as a desktop link gives it (escaped, the password in it): the named file arrives,
// and the process list does not show the password.
TEST_F(PelmarProgram, StartedWithAnAddressFetchesTheNamedFile) {
  TRealFtpServer server(TServerKind::Pyftpdlib);
  ASSERT_TRUE(server.Started()) << server.StartError();
  QTemporaryDir dir;
  const std::string content = RandomBytes(123456, 9);
  fs::create_directories(server.Root() + "dir with space");
  WriteFile(server.Root() + "dir with space/file.bin", content);
  const std::string local = dir.path().toStdString();
  const std::string url =
      std::string("ftp://") + TRealFtpServer::kUser + ":" + TRealFtpServer::kPassword +
      "@127.0.0.1:" + std::to_string(server.Port()) + "/dir%20with%20space/file.bin";
  const std::string home = "PELMAR_HOME=" + local;
  const std::string config = "XDG_CONFIG_HOME=" + local;
  const std::string platform = "QT_QPA_PLATFORM=offscreen";
  std::vector<char*> env;
  for (char** e = environ; *e; ++e) env.push_back(*e);
  for (const std::string* extra : {&home, &config, &platform}) {
    env.push_back(const_cast<char*>(extra->c_str()));
  }
  env.push_back(nullptr);
  // The program starts in the local folder it downloads into.
  const std::string previous = fs::current_path().string();
  fs::current_path(local);
  char* argv[] = {const_cast<char*>(PELMAR_PROGRAM), const_cast<char*>(url.c_str()), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, PELMAR_PROGRAM, nullptr, nullptr, argv, env.data()), 0);
  fs::current_path(previous);
  const bool arrived = RunUntil([&] { return ReadFile(local + "/file.bin") == content; }, 30000);
  const std::string arguments = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(arrived);
  EXPECT_NE(arguments.find("ftp://pelmar:"), std::string::npos) << arguments;
  EXPECT_EQ(arguments.find(TRealFtpServer::kPassword), std::string::npos) << arguments;
}

}  // namespace
}  // namespace pelmar::test
