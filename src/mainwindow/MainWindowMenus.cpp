// TfrmMain: the menu bar and its last-connections list.

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

}  // namespace pelmar
