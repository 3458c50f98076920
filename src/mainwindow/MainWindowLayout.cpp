// TfrmMain: building the window, its menus and toolbar, and the state kept between runs.

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

constexpr int kSmallToolbar = 34;
constexpr int kLargeToolbar = 62;

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

namespace {

// Our own drawing of a toolbar icon where the style's stand-in is a small bitmap (soft on
// high-density screens); `fallback` for every other button.
QIcon OwnToolbarIcon(const QString& button, const QIcon& fallback) {
  const QString name = button == QStringLiteral("btnConnect")      ? QStringLiteral("connect")
                       : button == QStringLiteral("btnConnectURL") ? QStringLiteral("url")
                                                                   : QStringLiteral("");
  if (name.isEmpty()) return fallback;
  QIcon icon;
  for (const int size : {16, 32, 64}) {
    icon.addFile(QString(QStringLiteral(":/pelmar/toolbar/%1-%2.png")).arg(name).arg(size),
                 QSize(size, size));
  }
  return icon;
}

}  // namespace

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

void TfrmMain::BuildToolbar(QWidget* parent) {
  auto* row = new QHBoxLayout;
  row->setContentsMargins(0, 0, 0, 0);
  tbMain = new QToolBar(parent);
  tbMain->setObjectName("tbMain");
  tbMain->setMovable(false);
  const struct {
    const char* Name;
    const char* Hint;
    QStyle::StandardPixmap Icon;
    const char* Theme;
  } buttons[] = {
      {"btnConnect", "Connect", QStyle::SP_DriveNetIcon, "network-connect"},
      {"btnConnectURL", "Connect to URL", QStyle::SP_DirLinkIcon, "go-jump"},
      {"btnStop", "Stop", QStyle::SP_BrowserStop, "process-stop"},
      {"btnDisconnect", "Disconnect", QStyle::SP_DialogCloseButton, "network-disconnect"},
      {nullptr, nullptr, QStyle::SP_CustomBase, nullptr},
      {"btnTransferMng", "Show Transfer Manager", QStyle::SP_FileDialogListView,
       "view-list-details"},
      {"BtnMaximizeHost", "Maximize Host View", QStyle::SP_TitleBarMaxButton, "view-fullscreen"},
      {"btnShowLog", "Show Log", QStyle::SP_FileDialogDetailedView, "utilities-terminal"},
      {"btnExplorer", "Show Viewer", QStyle::SP_FileDialogContentsView, "document-preview"},
  };
  for (const auto& b : buttons) {
    if (!b.Name) {
      tbMain->addSeparator();
      continue;
    }
    QAction* action = MakeAction(b.Name, QString::fromUtf8(b.Hint), QString::fromUtf8(b.Hint));
    action->setIcon(
        QIcon::fromTheme(QLatin1String(b.Theme),
                         OwnToolbarIcon(QLatin1String(b.Name), style()->standardIcon(b.Icon))));
    tbMain->addAction(action);
    tbMain->widgetForAction(action)->setObjectName(b.Name);
  }
  auto* spacer = new QWidget(tbMain);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  tbMain->addWidget(spacer);
  aviActivity = new TActivityAnimation(tbMain);
  aviActivity->setObjectName("aviActivity");
  tbMain->addWidget(aviActivity);
  row->addWidget(tbMain);
  static_cast<QVBoxLayout*>(parent->layout())->addLayout(row);
}

void TfrmMain::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("mnuMain");
  auto menu = [&](const char* name, const QString& caption) {
    QMenu* m = bar->addMenu(caption);
    m->setObjectName(name);
    return m;
  };
  auto item = [&](QMenu* m, const char* name, const QString& caption, const QKeySequence& keys,
                  bool enabled, const char* command = nullptr) {
    QAction* entry = command ? Action(command) : Action(name);
    if (command) {
      // One command, one action: the button, the menu item and the shortcut share it, with
      // the menu's caption in menus and the button's own caption on the toolbar.
      entry->setIconText(entry->iconText());
      entry->setText(caption);
      MenuCommands[QByteArray(name)] = entry;
    } else {
      if (!entry) entry = MakeAction(name, caption);
      entry->setEnabled(enabled);
    }
    if (!keys.isEmpty()) entry->setShortcut(keys);
    m->addAction(entry);
    return entry;
  };
  const QKeySequence none;
  QMenu* file = menu("mnuFile", QStringLiteral("&File"));
  item(file, "mnuConnect", QStringLiteral("&Connect"), QKeySequence(QStringLiteral("Ctrl+Shift+C")),
       true, "btnConnect");
  item(file, "mnuConnectURL", QStringLiteral("Connect to &URL"),
       QKeySequence(QStringLiteral("Ctrl+Shift+U")), true, "btnConnectURL");
  item(file, "mnuStop", QStringLiteral("&Stop"), QKeySequence(QStringLiteral("Ctrl+Shift+S")),
       false, "btnStop");
  item(file, "mnuDisconnect", QStringLiteral("&Disconnect"),
       QKeySequence(QStringLiteral("Ctrl+Shift+D")), false, "btnDisconnect");
  file->addSeparator();
  item(file, "mnuDisconnectTransfer", QStringLiteral("Disconnect &Transfer Connection"), none,
       false);
  file->addSeparator();
  mnuLastConnect = file->addMenu(QStringLiteral("&Last Connections"));
  mnuLastConnect->setObjectName("mnuLastConnect");
  mnuLastConnect->setEnabled(false);
  for (int i = 0; i < 8; ++i) {
    LastItems[static_cast<size_t>(i)] = mnuLastConnect->addAction(QString());
    LastItems[static_cast<size_t>(i)]->setObjectName(
        QString(QStringLiteral("mnuLast%1")).arg(i + 1));
    connect(LastItems[static_cast<size_t>(i)], &QAction::triggered, this,
            [this, i] { ConnectToLast(i); });
  }
  file->addSeparator();
  QAction* exit =
      item(file, "mnuExit", QStringLiteral("&Exit"), QKeySequence(QStringLiteral("Alt+F4")), true);
  connect(exit, &QAction::triggered, this, &QWidget::close);

  QMenu* edit = menu("mnuEdit", QStringLiteral("&Edit"));
  item(edit, "mnuCompareFolders", QStringLiteral("&Compare Folders"), none, false);
  item(edit, "mnuSynchronize", QStringLiteral("S&ynchronize..."), none, false);
  edit->addSeparator();
  item(edit, "mnuSelectAll", QStringLiteral("Select &All\tCtrl+A"), none, true);
  item(edit, "mnuInvertSelect", QStringLiteral("&Invert Selection\tShift+Ctrl+A"), none, true);

  // Pane commands arrive with the next stage of the window; until then they are shown disabled.
  // A pane menu: "E&dit with..." and its two programs, then the commands (nullptr: a line).
  using TItems = std::initializer_list<std::pair<const char*, const char*>>;
  auto paneMenu = [&](const char* name, const QString& caption, const char* editName,
                      const char* notePad, const char* tessaro, TItems items) {
    QMenu* pane = menu(name, caption);
    QMenu* editWith = pane->addMenu(QStringLiteral("E&dit with..."));
    editWith->setObjectName(editName);
    item(editWith, notePad, QStringLiteral("&NotePad"), none, true);
    item(editWith, tessaro, QStringLiteral("&Tessaro"), none, true);
    for (const auto& [itemName, itemCaption] : items) {
      if (!itemName) {
        pane->addSeparator();
        continue;
      }
      // "mnuHostRefresh" is the command of the button whose action is "actHostRefresh".
      const QByteArray command = "act" + QByteArray(itemName).mid(3);
      const bool shared = findChild<QAction*>(QLatin1String(command)) != nullptr;
      item(pane, itemName, QString::fromUtf8(itemCaption), none, false,
           shared ? command.constData() : nullptr);
    }
    return editWith;
  };
  // Upload and Download head their panes' menus: the keyboard's way to transfer the selection.
  const auto transferItem = [&](const char* menuName, const char* name, const QString& caption,
                                const char* keys, const char* command) {
    QMenu* pane = findChild<QMenu*>(QLatin1String(menuName));
    QAction* first = pane->actions().value(0);
    QAction* entry = item(pane, name, caption, QKeySequence(QLatin1String(keys)), false, command);
    pane->insertAction(first, entry);
    pane->insertSeparator(first);
  };
  paneMenu("mnuLocal", QStringLiteral("&Local"), "mnuLocalEdit", "mnuLocalEditNotePad",
           "MnuLocalEditTessaro",
           {{"mnuLocalRefresh", "&Refresh\tF5"},
            {"mnuLocalNewFolder", "&Create New Folder"},
            {"mnuLocalRename", "Rena&me\tF2"},
            {"mnuLocalDelete", "&Erase\tDel"},
            {"mnuLocalMask", "Mas&k files"},
            {nullptr, nullptr},
            {"mnuLocalCut", "&Cut\tCtrl+X"},
            {"mnuLocalCopy", "Co&py\tCtrl+C"},
            {"mnuLocalPaste", "&Paste\tCtrl+V"},
            {nullptr, nullptr},
            {"mnuLocalProperties", "P&roperties\tAlt+Enter"}});
  paneMenu("mnuHost", QStringLiteral("&Server"), "mnuHostEdit", "mnuHostEditNotePad",
           "mnuHostEditTessaro",
           {{"mnuHostEditFile", "Ed&it"},
            {nullptr, nullptr},
            {"mnuHostRefresh", "&Refresh\tF5"},
            {"mnuHostNewFolder", "&Create New Folder"},
            {"mnuHostRename", "Rena&me\tF2"},
            {"mnuHostDelete", "&Erase\tDel"},
            {"mnuHostMask", "Mas&k files"},
            {nullptr, nullptr},
            {"mnuHostProperties", "P&roperties\tAlt+Enter"}})
      ->setEnabled(false);  // the remote commands wait for a connection
  transferItem("mnuLocal", "mnuLocalUpload", QStringLiteral("&Upload"), "Ctrl+U", "btnUpload");
  transferItem("mnuHost", "mnuHostDownload", QStringLiteral("Do&wnload"), "Ctrl+D", "btnDownload");
  QMenu* view = menu("mnuView", QStringLiteral("&Options"));
  item(view, "mnuOptions", QStringLiteral("General &Preferences"), none, false);
  view->addSeparator();
  item(view, "mnuShowTransferManager", QStringLiteral("View &Transfer Manager"),
       QKeySequence(QStringLiteral("Ctrl+G")), false, "btnTransferMng");
  view->addSeparator();
  item(view, "mnuMaximizeHost", QStringLiteral("&Maximize Server Window"),
       QKeySequence(QStringLiteral("Ctrl+M")), false, "BtnMaximizeHost");
  QAction* showLog = item(view, "mnuShowLog", QStringLiteral("View M&essages Window"),
                          QKeySequence(QStringLiteral("F9")), true, "btnShowLog");
  showLog->setCheckable(true);
  showLog->setChecked(true);
  item(view, "mnuExplorer", QStringLiteral("View Internal &Viewer"),
       QKeySequence(QStringLiteral("F10")), false, "btnExplorer");
  view->addSeparator();
  QAction* transfers = item(view, "mnuShowTransferInfo", QStringLiteral("View &Transfers"),
                            QKeySequence(QStringLiteral("F12")), false);
  transfers->setCheckable(true);
  transfers->setChecked(true);
  QMenu* help = menu("mnuHelp", QStringLiteral("&Help"));
  item(help, "mnuHelpContents", QStringLiteral("&Help Contents"),
       QKeySequence(QStringLiteral("F1")), false);
  item(help, "MnuHelpPointer", QStringLiteral("&What's This?"), none, false);
  help->addSeparator();
  QMenu* web = help->addMenu(QStringLiteral("Vorlenz on the &Web"));
  web->setObjectName("mnuVorlenzWeb");
  item(web, "mnuNews", QStringLiteral("&Product News"), none, false);
  item(web, "mnuFAQ", QStringLiteral("Frequently Asked &Questions"), none, false);
  item(web, "mnuFeedBack", QStringLiteral("Send Fee&dBack"), none, false);
  web->addSeparator();
  item(web, "mnuVorlenzMedia", QStringLiteral("&Vorlenz M\u00e9dia Home Page"), none, false);
  help->addSeparator();
  item(help, "mnuAbout", QStringLiteral("&About..."), none, false);
}

QAction* TfrmMain::CommandAction(const char* buttonName, const QString& hint) {
  static const std::map<QString, QStyle::StandardPixmap> kIcons = {
      {QStringLiteral("Change Folder"), QStyle::SP_DirOpenIcon},
      {QStringLiteral("New View"), QStyle::SP_TitleBarNormalButton},
      {QStringLiteral("Close View"), QStyle::SP_DialogCloseButton},
      {QStringLiteral("Refresh"), QStyle::SP_BrowserReload},
      {QStringLiteral("New Folder"), QStyle::SP_FileDialogNewFolder},
      {QStringLiteral("Rename"), QStyle::SP_FileDialogDetailedView},
      {QStringLiteral("Delete"), QStyle::SP_TrashIcon},
      {QStringLiteral("File Mask"), QStyle::SP_FileDialogContentsView},
      {QStringLiteral("Edit with..."), QStyle::SP_FileIcon}};
  // The action is named after its button with "act" for "btn".
  const QByteArray name = "act" + QByteArray(buttonName).mid(3);
  QAction* action = MakeAction(name.constData(), hint, hint);
  const auto icon = kIcons.find(hint);
  if (icon != kIcons.end()) action->setIcon(style()->standardIcon(icon->second));
  return action;
}

QToolButton* TfrmMain::PaneButton(QWidget* parent, const char* name, const QString& hint,
                                  QAction* action) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setToolTip(hint);
  button->setAutoRaise(true);
  button->setDefaultAction(action);
  return button;
}

QToolButton* TfrmMain::BarButton(QToolBar* bar, const char* name, const QString& hint,
                                 QAction* action) {
  // An action of the bar, so that the overflow menu can offer it when it does not fit.
  bar->addAction(action);
  auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
  button->setObjectName(name);
  button->setToolTip(hint);
  button->setAutoRaise(true);
  return button;
}

TfrmMain::TSideFrame TfrmMain::SideFrame(QWidget* parent, const char* sideName,
                                         const char* toolsName) {
  TSideFrame frame;
  frame.Side = new QWidget(parent);
  frame.Side->setObjectName(sideName);
  frame.Layout = new QVBoxLayout(frame.Side);
  frame.Layout->setContentsMargins(0, 0, 0, 0);
  frame.Tools = new QWidget(frame.Side);
  frame.Tools->setObjectName(toolsName);
  frame.Row = new QHBoxLayout(frame.Tools);
  frame.Row->setContentsMargins(0, 0, 0, 0);
  // The buttons shrink into an overflow menu, so that the window can be narrow (half a
  // laptop screen) without cutting the folder box.
  frame.Bar = new QToolBar(frame.Tools);
  frame.Bar->setObjectName(QLatin1String(toolsName) + QStringLiteral("Bar"));
  frame.Bar->setIconSize(QSize(16, 16));
  frame.Bar->setFloatable(false);
  frame.Bar->setMovable(false);
  return frame;
}

QTabWidget* TfrmMain::FinishSide(const TSideFrame& frame, const char* tabsName) {
  frame.Row->addWidget(frame.Bar);
  // Outside a main window the toolbar's overflow button opens a menu of the commands that did
  // not fit (they are actions of the bar, not widgets); screen readers need a name for it.
  if (auto* more = frame.Bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"))) {
    more->setAccessibleName(QStringLiteral("More commands"));
  }
  frame.Layout->addWidget(frame.Tools);
  auto* tabs = new QTabWidget(frame.Side);
  tabs->setObjectName(tabsName);
  tabs->setDocumentMode(true);
  frame.Layout->addWidget(tabs, 1);
  return tabs;
}

QAction* TfrmMain::UpAction(const char* name) {
  QAction* up = MakeAction(name, QStringLiteral("Up One Level"), QStringLiteral("Up One Level"));
  up->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
  return up;
}

QWidget* TfrmMain::BuildLocalSide(QWidget* parent) {
  const TSideFrame frame = SideFrame(parent, "pnlLocal", "PnlLocalTools");
  QWidget* tools = frame.Tools;
  cmboLocalTree = new QComboBox(tools);
  cmboLocalTree->setObjectName("cmboLocalTree");
  cmboLocalTree->setEditable(true);
  cmboLocalTree->setAccessibleName(QStringLiteral("Local folder"));
  cmboLocalTree->lineEdit()->setAccessibleName(QStringLiteral("Local folder"));
  cmboLocalTree->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  // A long path must not widen the window: the box shows what fits.
  cmboLocalTree->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cmboLocalTree->setMinimumContentsLength(8);
  connect(cmboLocalTree->lineEdit(), &QLineEdit::returnPressed, this,
          [this] { OpenLocalFolder(cmboLocalTree->currentText(), true); });
  frame.Row->addWidget(cmboLocalTree, 1);
  QAction* up = UpAction("actLocalUp");
  connect(up, &QAction::triggered, this, [this] {
    CurrentLocal->FolderUp();
    LocalChange();
  });
  BarButton(frame.Bar, "btnLocalUp", QStringLiteral("Up One Level"), up);
  AddViewStyleButtons(frame.Bar, false);
  AddCommandButtons(frame.Bar, {{"btnLocalChDir", "Change Folder"},
                                {"btnLocalNew", "New View"},
                                {"btnLocalClose", "Close View"},
                                {"btnLocalEdit", "Edit with..."},
                                {"btnLocalRefresh", "Refresh"},
                                {"btnLocalNewFolder", "New Folder"},
                                {"btnLocalRename", "Rename"},
                                {"btnLocalDelete", "Delete"},
                                {"btnLocalMask", "File Mask"}});
  pgctrlLocal = FinishSide(frame, "pgctrlLocal");
  connect(pgctrlLocal, &QTabWidget::currentChanged, this, [this] { LocalChange(); });
  return frame.Side;
}

QWidget* TfrmMain::BuildCentreStrip(QWidget* parent) {
  auto* strip = new QWidget(parent);
  strip->setObjectName("pnlCenter");
  strip->setFixedWidth(28);
  auto* layout = new QVBoxLayout(strip);
  layout->setContentsMargins(2, 0, 2, 0);
  layout->addStretch();
  QAction* upload = MakeAction("btnUpload", QStringLiteral("Upload"), QStringLiteral("Upload"));
  upload->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
  connect(upload, &QAction::triggered, this, [this] {
    if (CurrentLocal && CurrentHost) CurrentLocal->SendSelection(CurrentHost);
  });
  QAction* download =
      MakeAction("btnDownload", QStringLiteral("Download"), QStringLiteral("Download"));
  download->setIcon(style()->standardIcon(QStyle::SP_ArrowLeft));
  connect(download, &QAction::triggered, this, [this] {
    if (CurrentLocal && CurrentHost) CurrentHost->SendSelection(CurrentLocal);
  });
  layout->addWidget(PaneButton(strip, "btnUpload", QStringLiteral("Upload"), upload));
  layout->addWidget(PaneButton(strip, "btnDownload", QStringLiteral("Download"), download));
  layout->addStretch();
  return strip;
}

QWidget* TfrmMain::BuildRemoteSide(QWidget* parent) {
  const TSideFrame frame = SideFrame(parent, "pnlHost", "PnlHostTools");
  QWidget* tools = frame.Tools;
  cmboHostTree = new TTreeCombo(tools);
  cmboHostTree->setObjectName("cmboHostTree");
  cmboHostTree->setAccessibleName(QStringLiteral("Server folder"));
  cmboHostTree->setEnabled(false);
  cmboHostTree->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  cmboHostTree->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cmboHostTree->setMinimumContentsLength(8);
  connect(cmboHostTree, &TTreeCombo::NodeChosen, this, [this](QStandardItem* node) {
    if (!CurrentHost) return;
    CurrentHost->ChangeFolder(Q(CurrentHost->TreePath(node)));
    HostEnabling(CurrentHost->SelectedCount());
  });
  frame.Row->addWidget(cmboHostTree, 1);
  QAction* up = UpAction("actHostUp");
  connect(up, &QAction::triggered, this, [this] {
    if (CurrentHost) CurrentHost->FolderUp();
  });
  BarButton(frame.Bar, "btnHostUp", QStringLiteral("Up One Level"), up);
  AddCommandButtons(frame.Bar, {{"btnHostNew", "New View"},
                                {"btnHostClose", "Close View"},
                                {"btnHostEdit", "Edit with..."},
                                {"btnHostRefresh", "Refresh"}});
  AddViewStyleButtons(frame.Bar, true);
  AddCommandButtons(frame.Bar, {{"btnHostChDir", "Change Folder"},
                                {"btnHostNewFolder", "New Folder"},
                                {"btnHostRename", "Rename"},
                                {"btnHostDelete", "Delete"},
                                {"btnHostMask", "File Mask"}});
  pgctrlHost = FinishSide(frame, "pgctrlHost");
  cmboHostTree->SetPopupWidthFrom(pgctrlHost);
  // A path typed into the box is opened in place, as Change Folder would.
  cmboHostTree->AllowTypedPaths();
  cmboHostTree->lineEdit()->setAccessibleName(QStringLiteral("Server folder"));
  connect(cmboHostTree, &TTreeCombo::PathEntered, this, [this](const QString& path) {
    if (!CurrentHost || !CurrentHost->Connected() || CurrentHost->Busy()) return;
    CurrentHost->ChangeFolder(path);
  });
  connect(pgctrlHost, &QTabWidget::currentChanged, this, [this] { pgctrlHostChange(); });
  return frame.Side;
}

void TfrmMain::AddViewStyleButtons(QToolBar* bar, bool host) {
  // "Change Views" steps to the next style; the menu button beside it chooses one. Only the
  // local pair carries hints.
  QAction* next = MakeAction(host ? "actHostView" : "actLocalView", QStringLiteral("Change Views"),
                             host ? QString() : QString(QStringLiteral("Change Views")));
  next->setIcon(style()->standardIcon(QStyle::SP_FileDialogListView));
  connect(next, &QAction::triggered, this, [this, host] {
    ApplyViewStyle(host, ((host ? State.HostViewStyle : State.LocalViewStyle) + 1) % 4);
  });
  BarButton(bar, host ? "btnHostView" : "btnLocalView",
            host ? QString() : QString(QStringLiteral("Change Views")), next);
  QAction* styles = ViewStyleAction(host);
  bar->addAction(styles);
  auto* menuButton = qobject_cast<QToolButton*>(bar->widgetForAction(styles));
  menuButton->setObjectName(host ? "btnHostViewMenu" : "btnLocalViewMenu");
  menuButton->setAutoRaise(true);
  menuButton->setPopupMode(QToolButton::InstantPopup);
  menuButton->setArrowType(Qt::DownArrow);
  if (!host) menuButton->setToolTip(QStringLiteral("Type of Views"));
  // The host's button has no hint of its own in the design; a screen reader still names it.
  menuButton->setAccessibleName(QStringLiteral("Type of Views"));
  // The style menu is usable exactly when "Change Views" is (not while disconnected or busy).
  styles->setEnabled(next->isEnabled());
  connect(next, &QAction::enabledChanged, styles, &QAction::setEnabled);
}

void TfrmMain::AddCommandButtons(
    QToolBar* bar, std::initializer_list<std::pair<const char*, const char*>> buttons) {
  for (const auto& [name, hint] : buttons) {
    BarButton(bar, name, QString::fromUtf8(hint), CommandAction(name, QString::fromUtf8(hint)));
  }
}

QAction* TfrmMain::ViewStyleAction(bool host) {
  auto* action = new QAction(QStringLiteral("Type of Views"), this);
  action->setObjectName(host ? "actHostViewMenu" : "actLocalViewMenu");
  auto* menu = new QMenu(this);
  menu->setObjectName("PopViewStyle");
  auto* group = new QActionGroup(menu);
  const char* const names[] = {"PopIcon", "PopSmallIcon", "PopList", "PopReport"};
  const char* const captions[] = {"Large Icons", "Small Icons", "List", "Details"};
  for (int style = 0; style < 4; ++style) {
    QAction* item = menu->addAction(QLatin1String(captions[style]));
    item->setObjectName(names[style]);
    item->setCheckable(true);
    group->addAction(item);
    connect(item, &QAction::triggered, this, [this, host, style] { ApplyViewStyle(host, style); });
  }
  connect(menu, &QMenu::aboutToShow, this, [this, menu, host] {
    const int style = host ? State.HostViewStyle : State.LocalViewStyle;
    menu->actions().at(style)->setChecked(true);
  });
  action->setMenu(menu);
  return action;
}

void TfrmMain::SetOptionsDialog(QDialog* options) {
  QAction* item = Commands.Options;
  item->setEnabled(options != nullptr);
  disconnect(item, &QAction::triggered, nullptr, nullptr);
  if (options) connect(item, &QAction::triggered, options, [options] { options->exec(); });
}

void TfrmMain::ApplyViewStyle(bool host, int style) {
  (host ? State.HostViewStyle : State.LocalViewStyle) = style;
  if (host) {
    if (CurrentHost) CurrentHost->ListView()->SetViewStyle(static_cast<TViewStyle>(style));
  } else if (CurrentLocal) {
    CurrentLocal->ListView()->SetViewStyle(static_cast<TViewStyle>(style));
  }
}

void TfrmMain::SetLargeToolbar(bool large) {
  Large = large;
  tbMain->setToolButtonStyle(large ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
  tbMain->setIconSize(large ? QSize(32, 32) : QSize(22, 22));
  tbMain->setFixedHeight(large ? kLargeToolbar : kSmallToolbar);
  State.ToolBarMin = large ? kLargeToolbar : kSmallToolbar;
}

void TfrmMain::MoveToolbarBar(int dy) {
  const int height = Large ? kLargeToolbar : kSmallToolbar;
  if (Large && height + dy < kSmallToolbar) SetLargeToolbar(false);
  if (!Large && height + dy >= kLargeToolbar + 1) SetLargeToolbar(true);
}

void TfrmMain::RebuildLastConnectionsMenu() {
  for (size_t i = 0; i < LastItems.size(); ++i) {
    const QString& name = State.LastConnections[i];
    LastItems[i]->setText(QString(QStringLiteral("&%1 %2")).arg(i + 1).arg(name));
    LastItems[i]->setVisible(!name.isEmpty());
    if (!name.isEmpty()) mnuLastConnect->setEnabled(true);
  }
}

void TfrmMain::AddLastConnection(const QString& name) {
  pelmar::AddLastConnection(State.LastConnections, name);
  mnuLastConnect->setEnabled(true);
  RebuildLastConnectionsMenu();
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
