// The main window: the connection flow, TLS, what a screen reader
// and the keyboard meet, closing while transfers run and continuing them; and the real program
// started with an address. (Its commands against a server: PaneCommandsTest.)

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>

#include "mainwindow/MainWindowFixture.h"
#include "support/Files.h"
#include "support/RealFtpServer.h"
#include "support/ScriptedPrompter.h"
#include "support/ServerProcess.h"
#include "support/UnnamedControls.h"
#include "ui/CertificateDialog.h"
#include "views/qt/HostView.h"
#include "views/qt/LocalView.h"

namespace pelmar::test {
namespace {

namespace fs = std::filesystem;

// Connecting by address and by site, several connections side by side, a password asked for
// or refused, a connection that fails; the log kept, saved and written.
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

  // An address naming a file: connected, the file downloaded here.
  window.ConnectToUrl(url + "wanted.bin");
  ASSERT_TRUE(RunUntil([&] { return ReadFile(local.toStdString() + "/wanted.bin") == content; }));
  EXPECT_EQ(window.ConnectedViews(), 1);

  // A second connection never replaces a live one; closing its tab or disconnecting ends one
  // connection each.
  window.ConnectToUrl(url);
  ASSERT_TRUE(RunUntil([&] { return window.ConnectedViews() == 2; }));
  window.btnHostCloseClick();
  EXPECT_EQ(window.HostTabCount(), 1);
  EXPECT_EQ(window.ConnectedViews(), 1);
  window.btnDisconnectClick();
  ASSERT_TRUE(RunUntil([&] { return window.ConnectedViews() == 0; }));

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
  EXPECT_EQ(prompts->Buttons.back(), (QStringList{"Enter &Password", "Open &Site", "Cancel"}));

  // A connection that fails leaves the tab disconnected.
  window.ConnectToUrl("ftp://127.0.0.1:1/");
  ASSERT_TRUE(
      RunUntil([&] { return window.HostTabCaption(window.HostTabCount() - 1) == "Disconnected"; }));
  EXPECT_EQ(prompts->Captions.size(), 1u) << "only a refused log-on asks";

  // The log keeps its newest lines; saving empties it (a folder that is not there is said,
  // and nothing is lost); at close the log file is replaced by what was logged since.
  QPlainTextEdit& log = *window.Log();
  for (int line = 0; line < 805; ++line) window.AppendToLog(QString::number(line));
  EXPECT_EQ(log.document()->blockCount(), THostView::kMaxLogEntries);
  const QString missing = Dir.filePath("no/such/folder/pelmar.log");
  Preferences().LogFile = missing.toStdString();
  window.popSaveLogClick();
  EXPECT_EQ(prompts->Messages, std::vector<QString>{"Cannot create file " + missing});
  EXPECT_EQ(log.document()->blockCount(), THostView::kMaxLogEntries) << "left as it was";
  const std::string saved = Dir.filePath("pelmar.log").toStdString();
  Preferences().LogFile = saved;
  window.popSaveLogClick();
  EXPECT_TRUE(ReadFile(saved).ends_with("803\n804\n"));
  window.AppendToLog("after");
  Preferences().LogToFile = true;
  window.close();
  EXPECT_EQ(ReadFile(saved), "after\n");
  SetPrompter(nullptr);
}

// TLS asked for by an address's scheme and by a site: the certificate question shows (the
// answers themselves: the engine's tests), and the session and its data are encrypted.
TEST_F(MainWindowTest, TlsFromAnAddressAndFromASite) {
  TTlsCertificates certificates;
  ASSERT_TRUE(certificates.Made());
  TRealFtpServer server(TServerKind::Pyftpdlib,
                        {.Certificate = certificates.File("selfsigned"), .ImplicitTls = false});
  ASSERT_TRUE(server.Started()) << server.StartError();
  WriteFile(server.Root() + "secret.txt", "s");
  TfrmMain& window = Open();
  window.show();
  TdlgCertificate::InstallAsCertificateHook(&window);
  TSite site = SiteFor(server, "Secure");
  site.Encryption = enExplicitTls;
  Choose(window, site);
  for (const bool bySite : {false, true}) {
    SCOPED_TRACE(bySite ? "a site" : "an address");
    if (bySite) {
      window.btnConnectClick();  // the certificate trusted once is not asked about again
    } else {
      window.ConnectToUrl(QString("ftpes://%1:%2@127.0.0.1:%3/")
                              .arg(TRealFtpServer::kUser, TRealFtpServer::kPassword)
                              .arg(server.Port()));
      TdlgCertificate* question = nullptr;
      ASSERT_TRUE(RunUntil([&] { return (question = window.findChild<TdlgCertificate*>()); }));
      question->findChild<QPushButton*>("btnTrustOnce")->click();
    }
    ASSERT_TRUE(RunUntil([&] { return window.CurrentHostView()->Model().rowCount() == 1; }));
    const QString log = window.Log()->toPlainText();
    EXPECT_TRUE(log.contains("TLS connection established")) << log.toStdString();
    EXPECT_TRUE(log.contains("PROT P"));
  }
}

// What a screen reader or a keyboard user meets: every control that takes input has a name,
// every menu command a mnemonic or a shortcut, and F6 moves between the panes.
TEST_F(MainWindowTest, EveryControlHasANameAndEveryCommandAKey) {
  TfrmMain& window = Open();
  window.show();
  window.Action("btnTransferMng")->trigger();  // the transfer manager is walked too
  QStringList unnamed;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->isVisible()) unnamed << UnnamedControls(*top);
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
  EXPECT_EQ(queue.CountInState(tsActive) + queue.CountInState(tsPending), 0);
  EXPECT_EQ(queue.Item(0).State, tsCancelled);

  for (const bool sitePassword : {false, true}) {
    SCOPED_TRACE(sitePassword ? "the site file's password" : "the password asked for");
    if (sitePassword) {
      TSiteFile sites(Dir.filePath("Sites.ini").toStdString(), nullptr);
      ASSERT_EQ(sites.Open(), "");
      ASSERT_EQ(sites.SaveSite(SiteFor(server, "Named"), {"Named"}), "");
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

// An address as a desktop link gives it (escaped, the password in it): the named file arrives,
// and the process list does not show the password.
TEST_F(MainWindowTest, TheProgramStartedWithAnAddressFetchesTheNamedFile) {
  TRealFtpServer server(TServerKind::Pyftpdlib);
  ASSERT_TRUE(server.Started()) << server.StartError();
  const std::string content = RandomBytes(123456, 9);
  fs::create_directories(server.Root() + "dir with space");
  WriteFile(server.Root() + "dir with space/file.bin", content);
  const std::string local = Dir.path().toStdString();
  const std::string url =
      std::string("ftp://") + TRealFtpServer::kUser + ":" + TRealFtpServer::kPassword +
      "@127.0.0.1:" + std::to_string(server.Port()) + "/dir%20with%20space/file.bin";
  // Its settings in the test's folder (PELMAR_HOME is there already); it starts in the local
  // folder it downloads into.
  ::setenv("XDG_CONFIG_HOME", local.c_str(), 1);
  const std::string previous = fs::current_path().string();
  fs::current_path(local);
  int out = -1;
  const int pid = Spawn({PELMAR_PROGRAM, url}, out);
  fs::current_path(previous);
  ASSERT_GT(pid, 0);
  const bool arrived = RunUntil([&] { return ReadFile(local + "/file.bin") == content; }, 30000);
  const std::string arguments = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  ::close(out);
  EXPECT_TRUE(arrived);
  EXPECT_NE(arguments.find("ftp://pelmar:"), std::string::npos) << arguments;
  EXPECT_EQ(arguments.find(TRealFtpServer::kPassword), std::string::npos) << arguments;
}

}  // namespace
}  // namespace pelmar::test
