// TfrmMain: building the window, the commands it shares, opening and closing, and the state
// kept between runs. The menus and the bars are in MainWindowMenus.cpp and MainWindowBars.cpp.

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItem>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <map>

#include "mainwindow/MainWindow.h"
#include "platform/qt/QtEventTarget.h"
#include "settings/DataFolder.h"
#include "settings/Preferences.h"
#include "settings/qt/UrlDialog.h"
#include "transfers/ProgressTexts.h"
#include "transfers/QueueStore.h"
#include "transfers/TransferQueue.h"
#include "transfers/qt/ConfirmDialogs.h"
#include "ui/ActivityAnimation.h"
#include "ui/ElidedLabel.h"
#include "ui/HelpService.h"
#include "ui/HelpWindow.h"
#include "ui/Prompter.h"
#include "ui/QtText.h"
#include "ui/TreeCombo.h"
#include "views/qt/HostView.h"
#include "views/qt/LocalView.h"

namespace pelmar {
namespace {

// The mover bar under the toolbar: dragging it makes the toolbar small or large.
class TMoverBar : public QWidget {
 public:
  TMoverBar(QWidget* parent, TfrmMain& window) : QWidget(parent), Window(window) {
    setFixedHeight(3);
    setCursor(Qt::SizeVerCursor);
    setObjectName("BarMoveTool");
  }

 protected:
  void mouseMoveEvent(QMouseEvent* event) override {
    if (event->buttons() & Qt::LeftButton) {
      Window.MoveToolbarBar(static_cast<int>(event->position().y()));
    }
  }

 private:
  TfrmMain& Window;
};

}  // namespace

TfrmMain::TfrmMain(std::shared_ptr<TQtEventTarget> target, QSettings* settings)
    : Target(std::move(target)), Settings(settings) {
  setObjectName("frmMain");
  if (!Settings) {
    // Beside the preferences, so that PELMAR_HOME keeps everything of a run together.
    OwnSettings =
        std::make_unique<QSettings>(Q(DataFolder() + kWindowStateFileName), QSettings::IniFormat);
    Settings = OwnSettings.get();
  }
  State = ReadWindowState(*Settings);
  Transfers = std::make_unique<TTransferItems>(Target);
  Questions = std::make_unique<TDialogQueueQuestions>(this);
  Questions->OnNote = [this](const std::string& text) { AppendLogLine(Q(text)); };
  Transfers->ShowMessage = [this](const std::string& text) { QueueNotice(Q(text)); };
  Transfers->Host = this;
  setGeometry(State.Bounds);

  auto* central = new QWidget(this);
  auto* centralLayout = new QVBoxLayout(central);
  centralLayout->setContentsMargins(0, 0, 0, 0);
  barMilieu = new QSplitter(Qt::Vertical, central);
  barMilieu->setObjectName("barMilieu");
  barMilieu->setHandleWidth(4);
  barMilieu->setChildrenCollapsible(false);
  pnlHTML = new QWidget(barMilieu);
  pnlHTML->setObjectName("pnlHTML");
  auto* topLayout = new QVBoxLayout(pnlHTML);
  topLayout->setContentsMargins(0, 0, 0, 0);
  topLayout->setSpacing(0);
  BuildToolbar(pnlHTML);
  BarMoveTool = new TMoverBar(pnlHTML, *this);
  topLayout->addWidget(BarMoveTool);
  LogStack = new QStackedWidget(pnlHTML);
  LogStack->setObjectName("LogStack");
  LogStack->setMinimumHeight(0);
  memoLog = new QPlainTextEdit(LogStack);
  memoLog->setObjectName("memoLog");
  memoLog->setAccessibleName(QStringLiteral("Message log"));
  memoLog->setReadOnly(true);
  // Read-only, yet reachable with Tab and readable with the keyboard (and a screen reader).
  memoLog->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  memoLog->setFocusPolicy(Qt::StrongFocus);
  memoLog->setMaximumBlockCount(THostView::kMaxLogEntries);
  memoLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  memoLog->setMinimumHeight(0);
  LogStack->addWidget(memoLog);
  topLayout->addWidget(LogStack, 1);

  pnlBack = new QSplitter(Qt::Horizontal, barMilieu);
  pnlBack->setObjectName("pnlBack");
  pnlBack->setChildrenCollapsible(false);
  pnlBack->addWidget(BuildLocalSide(pnlBack));
  pnlBack->addWidget(BuildCentreStrip(pnlBack));
  pnlBack->addWidget(BuildRemoteSide(pnlBack));
  pnlBack->setStretchFactor(0, 1);
  pnlBack->setStretchFactor(1, 0);
  pnlBack->setStretchFactor(2, 1);
  barMilieu->setStretchFactor(0, 0);
  barMilieu->setStretchFactor(1, 1);
  centralLayout->addWidget(barMilieu);
  setCentralWidget(central);

  auto* status = new QStatusBar(this);
  status->setObjectName("barStatus");
  const int widths[3] = {200, 300, 50};
  for (int i = 0; i < 3; ++i) {
    StatusPanels[i] = new TElidedLabel(status);
    StatusPanels[i]->setObjectName(QString(QStringLiteral("barStatusPanel%1")).arg(i));
    // Their widths while there is room; in a narrow window they share it and cut their texts
    // with "..." rather than running into each other.
    StatusPanels[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusPanels[i]->setMinimumWidth(widths[i] / 4);
    if (i == 2) {
      StatusPanels[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      StatusPanels[i]->setMinimumWidth(widths[i]);
      status->addPermanentWidget(StatusPanels[i]);
    } else {
      status->addWidget(StatusPanels[i], widths[i]);
    }
  }
  setStatusBar(status);
  BuildMenus();
  CollectCommands();

  // The first tabs of both panes.
  int firstTab = 0;
  CurrentLocal =
      AddLocalTab(QString(), QStringLiteral("Local"), false, firstTab);  // bound with the commands
  LocalSide->SetView(CurrentLocal);
  NewHostView();

  // Tab visits the log, the local pane, the strip between the panes and the server pane, in
  // reading order; the first local list is made after the frame around it, so it is put
  // back behind its tabs.
  QWidget::setTabOrder(pgctrlLocal->tabBar(), CurrentLocal->ListView()->Icons());
  QWidget::setTabOrder(CurrentLocal->ListView()->Icons(), CurrentLocal->ListView()->Details());

  // F6, as in file managers: the keyboard's way from one pane to the other.
  QAction* nextPane = MakeAction("actNextPane", QStringLiteral("Next &Pane"),
                                 QStringLiteral("Move to the other pane"));
  nextPane->setShortcut(Qt::Key_F6);
  nextPane->setShortcutContext(Qt::WindowShortcut);
  addAction(nextPane);
  connect(nextPane, &QAction::triggered, this, [this] {
    if (!CurrentLocal || !CurrentHost) return;
    const bool inLocal = CurrentLocal->ListView()->isAncestorOf(focusWidget());
    TCustomView* other = inLocal ? static_cast<TCustomView*>(CurrentHost) : CurrentLocal;
    // A disconnected server pane takes no focus in its list; its tabs do.
    QWidget* next = other->ListView()->isEnabled()
                        ? static_cast<QWidget*>(other->ListView()->Current())
                        : (inLocal ? pgctrlHost : pgctrlLocal)->tabBar();
    next->setFocus(Qt::ShortcutFocusReason);
  });

  if (State.State == wsMaximized) setWindowState(Qt::WindowMaximized);
  if (State.State == wsMinimized) setWindowState(Qt::WindowMinimized);
  ApplyViewStyle(false, State.LocalViewStyle);
  ApplyViewStyle(true, State.HostViewStyle);
  barMilieu->setSizes({State.LogHeight, std::max(height() - State.LogHeight, 100)});
  ChosenLogHeight = State.LogHeight;
  barMilieu->installEventFilter(this);
  SetCaptions(QStringLiteral("Disconnected"));
  RebuildLastConnectionsMenu();
  SetLargeToolbar(State.ToolBarMin >= 60);
  // The progress window listens to the queue from now on.
  Progress = std::make_unique<TfrmTransfer>(*Transfers, *this);
  Manager = std::make_unique<TfrmTransferMngr>(*Transfers, *Progress);
  Manager->Accompany(this, Settings);
  WireCommands();
  WireLog();
  CreateViewer();
  WireHelp();
  AskPassword = [this](const QString& account) -> QString {
    TdlgPassword prompt(this);
    if (!account.isEmpty())
      prompt.setWindowTitle(QStringLiteral("Enter a password for ") + account);
    return prompt.exec() == QDialog::Accepted ? prompt.editPassword->text() : QString();
  };
}

TfrmMain::~TfrmMain() {
  SetHelpHandler(nullptr);
  Manager.reset();
  Progress.reset();
  // Panes go before the queue they tell about themselves.
  pgctrlHost->clear();
  delete pgctrlHost;
  delete pgctrlLocal;
  Transfers->DisconnectAll();
}

QAction* TfrmMain::MakeAction(const char* name, const QString& caption, const QString& hint) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  if (!hint.isEmpty()) action->setToolTip(hint);
  return action;
}

QAction* TfrmMain::Action(const char* name) const {
  if (QAction* action = findChild<QAction*>(QLatin1String(name))) return action;
  // A menu item that is its button's command goes by the button's action.
  const auto shared = MenuCommands.find(QByteArray(name));
  return shared != MenuCommands.end() ? shared->second : nullptr;
}

void TfrmMain::CollectCommands() {
  LocalSide = new TPaneSide(this);
  HostSide = new TPaneSide(this);
  // The local side's commands follow the selection of whichever local tab is current.
  connect(LocalSide, &TPaneSide::CurrentStateUpdated, this,
          [this](int, int selected) { LocalUpdateState(selected); });
  // The folder box, the tab's caption and Up follow the current local tab wherever it goes
  // (double-click, Enter, Backspace, the Up button, another tab).
  connect(LocalSide, &TPaneSide::CurrentFolderChanged, this, &TfrmMain::LocalFolderChanged);
  // The server side's commands follow the current server tab; its reports have updated the
  // view's own state (busy, connected) first, since the window hears each view from its start.
  connect(HostSide, &TPaneSide::CurrentStateUpdated, this,
          [this](int, int selected) { HostEnabling(selected); });
  const auto command = [this](const char* name) {
    QAction* action = Action(name);
    Q_ASSERT(action);
    return action;
  };
  const auto side = [&command](TPaneCommands& pane, const char* prefix, const char* menuPrefix,
                               const char* editTessaro) {
    const auto act = [&](const char* what) {
      return command((QByteArray("act") + prefix + what).constData());
    };
    const auto mnu = [&](const char* what) {
      return command((QByteArray("mnu") + menuPrefix + what).constData());
    };
    pane.Up = act("Up");
    pane.ChDir = act("ChDir");
    pane.NewView = act("New");
    pane.CloseView = act("Close");
    pane.Edit = act("Edit");
    pane.Refresh = act("Refresh");
    pane.NewFolder = act("NewFolder");
    pane.Rename = act("Rename");
    pane.Delete = act("Delete");
    pane.Mask = act("Mask");
    pane.ViewStyle = act("View");
    pane.Properties = mnu("Properties");
    pane.EditNotePad = mnu("EditNotePad");
    pane.EditTessaro = command(editTessaro);
  };
  side(LocalSide->Commands, "Local", "Local", "MnuLocalEditTessaro");
  side(HostSide->Commands, "Host", "Host", "mnuHostEditTessaro");
  HostSide->Commands.EditFile = command("mnuHostEditFile");
  MenuCommands["popHostEdit"] = HostSide->Commands.EditFile;  // the popup's item is the command
  LocalSide->Commands.Cut = command("mnuLocalCut");
  LocalSide->Commands.Copy = command("mnuLocalCopy");
  LocalSide->Commands.Paste = command("mnuLocalPaste");
  Commands.Connect = command("btnConnect");
  Commands.ConnectUrl = command("btnConnectURL");
  Commands.Stop = command("btnStop");
  Commands.Disconnect = command("btnDisconnect");
  Commands.DisconnectTransfer = command("mnuDisconnectTransfer");
  Commands.Upload = command("btnUpload");
  Commands.Download = command("btnDownload");
  Commands.CompareFolders = command("mnuCompareFolders");
  Commands.Synchronize = command("mnuSynchronize");
  Commands.SelectAll = command("mnuSelectAll");
  Commands.InvertSelect = command("mnuInvertSelect");
  Commands.Options = command("mnuOptions");
  Commands.TransferManager = command("btnTransferMng");
  Commands.TransferInfo = command("mnuShowTransferInfo");
  Commands.MaximizeHost = command("BtnMaximizeHost");
  Commands.ShowLog = command("btnShowLog");
  Commands.Explorer = command("btnExplorer");

  connect(Commands.Connect, &QAction::triggered, this, &TfrmMain::btnConnectClick);
  connect(Commands.ConnectUrl, &QAction::triggered, this, &TfrmMain::btnConnectURLClick);
  connect(Commands.Stop, &QAction::triggered, this, &TfrmMain::btnStopClick);
  connect(Commands.Disconnect, &QAction::triggered, this, &TfrmMain::btnDisconnectClick);
  connect(HostSide->Commands.NewView, &QAction::triggered, this, &TfrmMain::btnHostNewClick);
  HostSide->Commands.CloseView->setEnabled(false);
  connect(HostSide->Commands.CloseView, &QAction::triggered, this, &TfrmMain::btnHostCloseClick);
}

void TfrmMain::SetOptionsDialog(QDialog* options) {
  QAction* item = Commands.Options;
  item->setEnabled(options != nullptr);
  disconnect(item, &QAction::triggered, nullptr, nullptr);
  if (options) connect(item, &QAction::triggered, options, [options] { options->exec(); });
}

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (Shown) return;
  Shown = true;
  // The preference names the start folder; without one, the folder shown at the last close.
  const std::string start = Preferences().DefaultDir;
  const bool lastExists = !State.LocalFolder.isEmpty() && QDir(State.LocalFolder).exists();
  OpenLocalFolder(!start.empty() ? Q(start)
                  : lastExists   ? State.LocalFolder
                                 : QDir::currentPath(),
                  true);
  pnlBack->setSizes({width() / 2, 28, width() / 2});
  // Once the window is there (activation never comes without a window manager).
  QTimer::singleShot(0, this, &TfrmMain::OfferUnfinishedTransfers);
}

bool TfrmMain::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate && FirstActivation) {
    FirstActivation = false;
    if (Preferences().ShowManager) QTimer::singleShot(0, this, &TfrmMain::btnConnectClick);
  }
  return QMainWindow::event(event);
}

void TfrmMain::WriteState() {
  State.State = isMaximized() ? wsMaximized : isMinimized() ? wsMinimized : wsNormal;
  if (State.State == wsNormal) State.Bounds = geometry();
  // The height the person gave the log, not one a low window squeezed it to.
  State.LogHeight = LogStack->isVisible() && ChosenLogHeight > 0
                        ? ChosenLogHeight
                        : barMilieu->sizes().value(0, State.LogHeight);
  if (CurrentLocal) {
    State.LocalFolder = CurrentLocal->Folder();
    State.LocalSort = CurrentLocal->ListView()->SortKey();
    if (CurrentLocal->ListView()->SizedByHand()) {
      State.LocalColumns = CurrentLocal->ListView()->Details()->header()->saveState();
    }
  }
  if (CurrentHost) {
    State.HostSort = CurrentHost->Sort();
    if (CurrentHost->ListView()->SizedByHand()) {
      State.HostColumns = CurrentHost->ListView()->Details()->header()->saveState();
    }
  }
  WriteWindowState(*Settings, State);
  // The last connections name sites: the file is for its owner only.
  Settings->sync();
  QFile::setPermissions(Settings->fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (const int edited = EditedFilesNotUploaded(); edited > 0) {
    const QString question =
        edited == 1
            ? QStringLiteral("1 edited file was not uploaded to the server. Quit anyway?")
            : QStringLiteral("%1 edited files were not uploaded to the server. Quit anyway?")
                  .arg(edited);
    // Enter keeps the window, and the edits with it: quitting is the button to choose.
    const int quit = Prompter().Choose(this, QStringLiteral("Pelmar"), question,
                                       {QStringLiteral("&Yes"), QStringLiteral("&No")}, 1, 1);
    if (quit != 0) {
      event->ignore();
      return;
    }
  }
  if (Transfers->CountInState(tsPending) + Transfers->CountInState(tsActive) > 0) {
    // Written now (the file tried again if it could not be used), so the question is true.
    if (KeptQueue) KeptQueue->Flush();
    const bool kept = KeptQueue && KeptQueue->Usable();
    if (!Prompter().Confirm(
            this, QStringLiteral("Pelmar"),
            kept ? QStringLiteral("Transfers are still running. Quit and stop them? They can be "
                                  "continued at the next start.")
                 : QStringLiteral("Transfers are still running. Quit and stop them?"))) {
      event->ignore();
      return;
    }
    // The kept queue stays as it is now: stopping is not the person cancelling them.
    KeptQueue.reset();
    // Cancelled as Cancel would: a replaced file keeps its old content, a new partial one
    // stays for a resume.
    Progress->StopAll();
  }
  if (Preferences().LogToFile) SaveLog(QString::fromStdString(Preferences().LogFile));
  WriteState();
  // The program ends with this window: the progress window and the manager go with it.
  Progress->close();
  Manager->close();
  if (Help) Help->close();
  QMainWindow::closeEvent(event);
}

}  // namespace pelmar