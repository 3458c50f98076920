// TfrmMain: the main toolbar, the pane tool rows and tabs, the strip between the panes and the
// view styles.

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

constexpr int kSmallToolbar = 34;
constexpr int kLargeToolbar = 62;

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

}  // namespace pelmar
