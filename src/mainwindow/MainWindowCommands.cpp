// TfrmMain: the pane commands — what each button, menu item and popup item of the two panes
// does to the current view of its pane, the local tabs, Send To, the double-click actions and
// the local pane's enabling.

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <utility>

#include "mainwindow/MainWindow.h"
#include "settings/Preferences.h"
#include "transfers/TransferQueue.h"
#include "ui/ActivityAnimation.h"
#include "ui/FileChooser.h"
#include "ui/Prompter.h"
#include "ui/QtText.h"
#include "ui/TreeCombo.h"
#include "views/qt/HostView.h"
#include "views/qt/LocalView.h"

namespace pelmar {
namespace {

// Shift alone: a delete without the question.
bool ShiftHeld() {
  return QGuiApplication::keyboardModifiers() == Qt::ShiftModifier;
}

}  // namespace

int TfrmMain::LocalTabCount() const {
  return pgctrlLocal->count();
}

void TfrmMain::WireCommands() {
  AskText = [this](const QString& caption, const QString& prompt,
                   const QString& text) -> std::optional<QString> {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(this, caption, prompt, QLineEdit::Normal, text, &ok);
    return ok ? std::optional<QString>(answer) : std::nullopt;
  };
  auto on = [this](QAction* command, auto handler) {
    connect(command, &QAction::triggered, this, handler);
  };
  on(HostSide->Commands.Refresh, [this] { CurrentHost->RefreshFolder(); });
  on(HostSide->Commands.Delete, [this] { CurrentHost->DeleteSelected(!ShiftHeld()); });
  on(HostSide->Commands.Rename, [this] { CurrentHost->RenameFocused(); });
  on(HostSide->Commands.NewFolder, [this] {
    const auto name = AskText(QStringLiteral("Create a new folder"),
                              QStringLiteral("New Folder to create"), QString());
    if (name && !name->isEmpty()) CurrentHost->MakeFolder(CurrentHost->Folder() + *name, false);
  });
  on(HostSide->Commands.Mask, [this] {
    const QString old = CurrentHost->Mask();
    const auto mask = AskText(QStringLiteral("Mask"),
                              QStringLiteral("Enter a mask for the host directory:"), old);
    if (mask && *mask != old) CurrentHost->SetMask(*mask);
  });
  on(HostSide->Commands.ChDir, [this] {
    const QString old = CurrentHost->Folder();
    const auto folder = AskText(QStringLiteral("Open Folder"),
                                QStringLiteral("Enter the path of a folder you want to open"), old);
    if (folder && *folder != old && !folder->isEmpty()) CurrentHost->ChangeFolder(*folder);
  });
  on(LocalSide->Commands.Refresh, [this] { CurrentLocal->RefreshFolder(); });
  on(LocalSide->Commands.Delete, [this] { CurrentLocal->DeleteSelected(!ShiftHeld()); });
  on(LocalSide->Commands.Rename, [this] { CurrentLocal->RenameFocused(); });
  on(LocalSide->Commands.NewFolder, [this] { CurrentLocal->MakeFolder(QString(), true); });
  on(LocalSide->Commands.Mask, [this] {
    const QString old = CurrentLocal->Mask();
    const auto mask = AskText(QStringLiteral("Mask"),
                              QStringLiteral("Enter a mask for the local directory:"), old);
    if (mask && *mask != old) CurrentLocal->SetMask(*mask);
  });
  on(LocalSide->Commands.ChDir, [this] {
    const QString folder =
        FileChooser().Folder(this, QStringLiteral("Select Folder to View"), CurrentLocal->Folder());
    if (!folder.isEmpty()) OpenLocalFolder(folder, true);
  });
  on(LocalSide->Commands.NewView, [this] { NewLocalView(); });
  on(LocalSide->Commands.CloseView, [this] { btnLocalCloseClick(); });
  for (QAction* command : {LocalSide->Commands.Cut, LocalSide->Commands.Copy,
                           LocalSide->Commands.Paste, LocalSide->Commands.Properties}) {
    command->setEnabled(true);
  }
  on(LocalSide->Commands.Cut, [this] { CurrentLocal->Cut(); });
  on(LocalSide->Commands.Copy, [this] { CurrentLocal->Copy(); });
  on(LocalSide->Commands.Paste, [this] { CurrentLocal->Paste(); });
  on(LocalSide->Commands.Properties, [this] { CurrentLocal->ShowProperties(); });
  on(HostSide->Commands.Properties, [this] { CurrentHost->ShowProperties(); });
  on(Commands.CompareFolders, [this] { mnuCompareFoldersClick(); });
  on(Commands.Synchronize, [this] { mnuSynchronizeClick(); });
  // Select all and invert act on the pane whose list has the focus.
  auto focused = [this]() -> TCustomView* {
    if (CurrentLocal->ListView()->isAncestorOf(QApplication::focusWidget())) return CurrentLocal;
    if (CurrentHost->ListView()->isAncestorOf(QApplication::focusWidget())) return CurrentHost;
    return nullptr;
  };
  on(Commands.SelectAll, [focused] {
    if (TCustomView* view = focused()) view->SelectAll();
  });
  on(Commands.InvertSelect, [focused] {
    if (TCustomView* view = focused()) view->InvertSelection();
  });
  // The remote pane alone fills the window, or both panes again.
  BindToggle(Commands.MaximizeHost, [this](bool maximized) {
    for (const char* name : {"pnlLocal", "pnlCenter"})
      findChild<QWidget*>(QLatin1String(name))->setVisible(!maximized);
  });
  // The progress window by its check mark; Disconnect Transfer Connection cancels first.
  QAction* info = Commands.TransferInfo;
  connect(info, &QAction::triggered, this, [this](bool checked) {
    const bool work = Transfers->CountInState(tsPending) + Transfers->CountInState(tsActive) > 0;
    if (!checked) Progress->hide();
    if (checked && work) Progress->show();
  });
  // The transfer manager by the button's pressed state; its close box releases both.
  QAction* managerButton = BindToggle(Commands.TransferManager, [this](bool shown) {
    Manager->setVisible(shown);
    if (shown) Manager->raise();
  });
  connect(Manager.get(), &TfrmTransferMngr::Closed, managerButton,
          [managerButton] { managerButton->setChecked(false); });
  // Asked for from the box of failed transfers: shown, or brought to the front.
  connect(Progress.get(), &TfrmTransfer::ManagerWanted, this, [this, managerButton] {
    if (!managerButton->isChecked()) managerButton->trigger();
    Manager->raise();
    Manager->activateWindow();
  });
  on(Commands.DisconnectTransfer, [this] {
    Progress->Cancel();
    Transfers->DisconnectAll();
    SetTransferConnected(false);
  });
  BindLocalView(*CurrentLocal);
}

QAction* TfrmMain::BindToggle(QAction* command, std::function<void(bool)> apply) {
  // The button and the menu item are one checkable action.
  command->setEnabled(true);
  command->setCheckable(true);
  connect(command, &QAction::toggled, this, std::move(apply));
  return command;
}

void TfrmMain::BindLocalView(TLocalView& view) {
  connect(&view, &TCustomView::FileChanging, this, [this] { ViewFileChanging(); });
  connect(view.ListView(), &TViewList::SelectionChanged, this, [this, &view] { ListClick(view); });
  view.OnPerformDoubleClick = [this](TCustomView&, const QModelIndex& item) {
    LocalDoubleClick(item);
  };
  for (QAbstractItemView* list : {static_cast<QAbstractItemView*>(view.ListView()->Icons()),
                                  static_cast<QAbstractItemView*>(view.ListView()->Details())}) {
    connect(list, &QWidget::customContextMenuRequested, this,
            [this, list](const QPoint& at) { ShowLocalPopup(list, at); });
  }
}

void TfrmMain::ShowLocalPopup(QAbstractItemView* list, const QPoint& at) {
  SelectUnderPointer(CurrentLocal, list, at);
  QMenu popup(this);
  popup.setObjectName("PopLocal");
  QMenu* views = popup.addMenu(QStringLiteral("&View"));
  views->setObjectName("PopLocalViews");
  const char* const captions[] = {"Large Icons", "Small Icons", "List", "Details"};
  for (int style = 0; style < 4; ++style) {
    QAction* item = views->addAction(QLatin1String(captions[style]));
    item->setCheckable(true);
    item->setChecked(style == State.LocalViewStyle);
    connect(item, &QAction::triggered, this, [this, style] { ApplyViewStyle(false, style); });
  }
  popup.addSeparator();
  // The commands every two-pane client offers on a file: the same actions as the buttons and
  // the menus, so they are enabled by the same rules.
  popup.addAction(Commands.Upload);
  popup.addSeparator();
  if (LocalSide->Commands.Copy) popup.addAction(LocalSide->Commands.Copy);
  popup.addAction(QStringLiteral("&Paste"), this, [this] { CurrentLocal->Paste(); })
      ->setObjectName(QStringLiteral("PopLocalPaste"));
  popup.addAction(LocalSide->Commands.Rename);
  popup.addAction(LocalSide->Commands.Delete);
  popup.addSeparator();
  QMenu* make = popup.addMenu(QStringLiteral("Ne&w"));
  make->setObjectName("PopLocalNew");
  make->addAction(QStringLiteral("&Folder"), this,
                  [this] { CurrentLocal->MakeFolder(QString(), true); })
      ->setObjectName(QStringLiteral("PopLocalCreateFolder"));
  popup.addSeparator();
  popup.addAction(QStringLiteral("P&roperties"), this, [this] { CurrentLocal->ShowProperties(); })
      ->setObjectName(QStringLiteral("PopLocalProperties"));
  popup.exec(list->viewport()->mapToGlobal(at));
}

void TfrmMain::LocalUpdateState(int selected) {
  for (QAction* command : {LocalSide->Commands.Delete, LocalSide->Commands.Properties}) {
    command->setEnabled(selected >= 1);
  }
  LocalSide->Commands.Rename->setEnabled(selected == 1);
  Commands.Upload->setEnabled(CurrentHost && CurrentHost->Connected() && selected > 0);
}

TLocalView* TfrmMain::AddLocalTab(const QString& folder, const QString& caption, bool bind,
                                  int& index) {
  auto* page = new QWidget(pgctrlLocal);
  auto* view = new TLocalView(page);
  view->setParent(page);
  view->Queue = Transfers.get();
  if (bind) BindLocalView(*view);
  view->ListView()->SetViewStyle(static_cast<TViewStyle>(State.LocalViewStyle));
  view->ListView()->RestoreColumns(State.LocalColumns);
  view->ListView()->ShowSortKey(State.LocalSort);
  if (!folder.isEmpty()) view->ChangeFolder(folder);
  index = pgctrlLocal->addTab(page, caption);
  LocalSide->Commands.CloseView->setEnabled(pgctrlLocal->count() > 1);
  return view;
}

void TfrmMain::NewLocalView() {
  const QString folder = CurrentLocal ? CurrentLocal->Folder() : QDir::currentPath();
  int index = 0;
  AddLocalTab(folder, QString(), true, index);
  pgctrlLocal->setCurrentIndex(index);
  LocalChange();
  LocalSide->Commands.CloseView->setEnabled(pgctrlLocal->count() > 1);
}

void TfrmMain::btnLocalCloseClick() {
  if (pgctrlLocal->count() <= 1) return;
  const int index = pgctrlLocal->currentIndex();
  QWidget* page = pgctrlLocal->widget(index);
  pgctrlLocal->removeTab(index);
  CurrentLocal = nullptr;
  page->deleteLater();
  pgctrlLocal->setCurrentIndex(index == 0 ? pgctrlLocal->count() - 1 : index - 1);
  LocalChange();
  LocalSide->Commands.CloseView->setEnabled(pgctrlLocal->count() > 1);
}

void TfrmMain::HostDoubleClick() {
  const int choice = Preferences().HostDblClk;
  if (choice >= 1 && choice <= 3) {
    // Enter (or a double-click) that cannot do its work says why, rather than nothing.
    const QString why =
        !CurrentHost->Connected() ? QStringLiteral("not connected to a server")
        : CurrentHost->Animating  ? QStringLiteral(
                                        "the server connection is busy; try again when the "
                                         "current command is done")
        : CurrentHost->ListView()->SelectedItems().isEmpty() ? QStringLiteral("no file is selected")
                                                             : QString();
    if (!why.isEmpty()) {
      const QString text = (choice == 2   ? QStringLiteral("Cannot download: ")
                            : choice == 1 ? QStringLiteral("Cannot view the file: ")
                                          : QStringLiteral("Cannot open the file: ")) +
                           why;
      SetStatusLine(text);
      AppendLogLine(text);
      return;
    }
  }
  switch (choice) {
    case 0:
      CurrentHost->ShowProperties();
      break;
    case 1:
      CurrentHost->FetchSelected(*CurrentLocal, TFetchKind::View);
      break;
    case 2:
      Commands.Download->trigger();
      break;
    case 3:
      CurrentHost->FetchSelected(*CurrentLocal, TFetchKind::Open);
      break;
    default:
      break;
  }
}

void TfrmMain::LocalDoubleClick(const QModelIndex& item) {
  const QString path = CurrentLocal->GetItemPath(item);
  switch (Preferences().LocalDblClk) {
    case 0:
      CurrentLocal->ShowProperties();
      break;
    case 1:
      if (!StartProgram(Q(Preferences().Viewer), {path}, CurrentLocal->Folder())) {
        ReportStartFailure(Q(Preferences().Viewer), true);
      }
      break;
    case 2:
      if (CurrentHost) CurrentHost->UploadFile(*CurrentLocal);
      break;
    case 3:
      if (!OpenDocument(path)) ReportOpenFailure(path);
      break;
    default:
      break;
  }
}

void TfrmMain::SendToHostFolder() {
  const QString folder = CurrentHost->Folder();
  const auto answer = AskText(QStringLiteral("Move to another folder"),
                              QStringLiteral("Destination folder"), folder);
  if (!answer || answer->isEmpty()) return;
  QString destination = *answer;
  if (!destination.endsWith(u'/')) destination += u'/';
  if (destination == folder) return;
  const QModelIndexList selected = CurrentHost->ListView()->SelectedItems();
  // A folder cannot move into itself: the server would refuse or half-apply the rename.
  for (const QModelIndex& item : selected) {
    const QString path = folder + CurrentHost->GetItemName(item) + QStringLiteral("/");
    if (CurrentHost->IsFolder(item) && destination.startsWith(path)) {
      Prompter().Error(this, QStringLiteral("Move to another folder"),
                       QStringLiteral("\"") + CurrentHost->GetItemName(item) +
                           QStringLiteral("\" cannot be moved into itself."));
      return;
    }
  }
  for (const QModelIndex& item : selected) {
    const QString name = CurrentHost->GetItemName(item);
    CurrentHost->Engine().Rename(S(folder + name), S(destination + name));
  }
  if (!selected.isEmpty()) CurrentHost->RefreshFolder();
}

void TfrmMain::SendToLocalFolder() {
  const QString folder = FileChooser().Folder(this, QStringLiteral("Select Destination Folder"),
                                              CurrentLocal->Folder());
  if (folder.isEmpty()) return;
  QWidget holder;
  TLocalView destination(&holder);
  destination.Queue = Transfers.get();
  destination.ChangeFolderAndWait(folder);
  CurrentHost->SendSelection(&destination);
}

void TfrmMain::SendToClipboard(bool urls) {
  QString text;
  for (const QModelIndex& item : CurrentHost->ListView()->SelectedItems()) {
    text += (urls ? CurrentHost->BuildUrl(item) : CurrentHost->GetItemPath(item)) +
            QStringLiteral("\r\n");
  }
  while (text.endsWith(u'\r') || text.endsWith(u'\n')) text.chop(1);
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void TfrmMain::SelectUnderPointer(TCustomView* view, QAbstractItemView* list, const QPoint& at) {
  if (!view || !list) return;
  // As in every list of the desktop: a right click on an item outside the selection selects
  // that item alone, and the popup's commands count it.
  const QModelIndex item = list->indexAt(at);
  if (item.isValid() && !list->selectionModel()->isSelected(item.siblingAtColumn(0))) {
    view->ListView()->ClearSelection();
    view->ListView()->Select(item.siblingAtColumn(0), true);
  }
  view->RefreshStatus();
}

void TfrmMain::ShowHostPopup(QAbstractItemView* list, const QPoint& at) {
  SelectUnderPointer(CurrentHost, list, at);
  if (!popHost) {
    popHost = new QMenu(this);
    popHost->setObjectName("popHost");
    auto add = [this](QMenu* menu, const char* name, const QString& caption, auto handler) {
      QAction* item = menu->addAction(caption);
      item->setObjectName(name);
      connect(item, &QAction::triggered, this, handler);
      return item;
    };
    add(popHost, "popHostOpen", QStringLiteral("&Open"),
        [this] { CurrentHost->FetchSelected(*CurrentLocal, TFetchKind::Open); });
    add(popHost, "popHostView", QStringLiteral("&View"),
        [this] { CurrentHost->FetchSelected(*CurrentLocal, TFetchKind::View); });
    popHost->addAction(HostSide->Commands.EditFile);  // the Server menu's Edit, F4
    popHost->addSeparator();
    add(popHost, "popHostDownload", QStringLiteral("&Download"),
        [this] { Commands.Download->trigger(); });
    add(popHost, "popHostDownloadNow", QStringLiteral("Download &Now"),
        [this] { CurrentHost->FetchSelected(*CurrentLocal, TFetchKind::Download); });
    popHost->addSeparator();
    add(popHost, "popHostRename", QStringLiteral("Rena&me"),
        [this] { HostSide->Commands.Rename->trigger(); });
    add(popHost, "popHostDelete", QStringLiteral("Dele&te"),
        [this] { HostSide->Commands.Delete->trigger(); });
    popHost->addSeparator();
    QMenu* sendTo = popHost->addMenu(QStringLiteral("&Send To"));
    sendTo->setObjectName("popHostSendTo");
    add(sendTo, "popHostSendToAnyHostFolder", QStringLiteral("Any &Host Folder... (Move)"),
        [this] { SendToHostFolder(); });
    add(sendTo, "popHostSendToAnyLocalFolder", QStringLiteral("Any &Local Folder... (Copy)"),
        [this] { SendToLocalFolder(); });
    add(sendTo, "popHostSendToClipboardAsName", QStringLiteral("Clipboard as &Name"),
        [this] { SendToClipboard(false); });
    add(sendTo, "popHostSendToClipboardAsURL", QStringLiteral("Clipboard as &URL"),
        [this] { SendToClipboard(true); });
    popHost->addSeparator();
    QMenu* make = popHost->addMenu(QStringLiteral("Ne&w"));
    make->setObjectName("popHostNew");
    add(make, "popHostNewFolder", QStringLiteral("&Folder"),
        [this] { HostSide->Commands.NewFolder->trigger(); });
    popHost->addSeparator();
    add(popHost, "popHostProperties", QStringLiteral("P&roperties"),
        [this] { CurrentHost->ShowProperties(); });
  }
  // Enabling follows the buttons; the default item follows the double-click preference.
  const QModelIndex focused = CurrentHost->ListView()->FocusedItem();
  const bool fileFocused = focused.isValid() && !CurrentHost->IsFolder(focused);
  const bool deletable = HostSide->Commands.Delete->isEnabled();
  const bool downloadable = Commands.Download->isEnabled();
  auto item = [this](const char* name) {
    return popHost->findChild<QAction*>(QLatin1String(name));
  };
  item("popHostOpen")->setEnabled(deletable && fileFocused);
  item("popHostView")->setEnabled(deletable && fileFocused);
  HostSide->Commands.EditFile->setEnabled(deletable && fileFocused);
  item("popHostDownload")->setEnabled(downloadable);
  item("popHostDownloadNow")->setEnabled(downloadable && fileFocused);
  item("popHostDelete")->setEnabled(deletable);
  item("popHostProperties")->setEnabled(deletable);
  popHost->findChild<QMenu*>(QStringLiteral("popHostSendTo"))->setEnabled(deletable);
  item("popHostRename")->setEnabled(HostSide->Commands.Rename->isEnabled());
  popHost->findChild<QMenu*>(QStringLiteral("popHostNew"))
      ->setEnabled(HostSide->Commands.NewFolder->isEnabled());
  const char* defaults[] = {"popHostProperties", "popHostView", "popHostDownload", "popHostOpen"};
  const int choice = Preferences().HostDblClk;
  popHost->setDefaultAction(item(choice >= 1 && choice <= 3 ? defaults[choice] : defaults[0]));
  if (list) popHost->popup(list->viewport()->mapToGlobal(at));
}

void TfrmMain::QueueNotice(const QString& text) {
  // One box for everything a command added twice, once the command is done: a box per file
  // of a large selection would have to be clicked away hundreds of times.
  AppendLogLine(text);
  QueueNotices << text;
  if (QueueNotices.size() > 1) return;
  QTimer::singleShot(0, this, [this] {
    const QStringList notices = std::exchange(QueueNotices, {});
    if (notices.isEmpty()) return;
    QString shown = notices.first();
    if (notices.size() > 1) {
      shown = QString(QStringLiteral("%1 items are already in the transfer queue:\n"))
                  .arg(notices.size());
      for (qsizetype i = 0; i < std::min<qsizetype>(notices.size(), 10); ++i) {
        shown += QStringLiteral("\n") + notices[i].section(u'"', 1, -2);
      }
      if (notices.size() > 10) shown += QStringLiteral("\n...");
    }
    Prompter().Error(this, QStringLiteral("Pelmar"), shown);
  });
}

void TfrmMain::SetStatusLine(const QString& text) {
  StatusPanels[1]->setText(text);     // the middle panel
  StatusPanels[1]->setToolTip(text);  // whole, where the panel cuts it
}

void TfrmMain::SetStatusText(const std::string& text) {
  SetStatusLine(Q(text));
}

void TfrmMain::AppendToLog(const QString& line) {
  AppendLogLine(line);
}

void TfrmMain::SetTransferConnected(bool) {
  // Exactly while one exists: of several connections, one going leaves the others, and a
  // connection let go by the queue reports nothing.
  Commands.DisconnectTransfer->setEnabled(Transfers && Transfers->AnyConnected());
}

void TfrmMain::EndOfFile() {
  PlayStateSound(usFileDone);
}

void TfrmMain::EndOfAll() {
  QueuedTransfersRunning = false;
  aviActivity->SetActive(CurrentHost && CurrentHost->Animating);
  PlayStateSound(usAllDone);
}

void TfrmMain::ShowActivity() {
  QueuedTransfersRunning = true;
  aviActivity->SetActive(true);
}

void TfrmMain::TransferStarted() {
  Commands.TransferInfo->setEnabled(true);
}

void TfrmMain::TransferError() {
  PlayStateSound(usTransferError);
}

bool TfrmMain::ShowTransferInfo() const {
  return Commands.TransferInfo->isChecked();
}

void TfrmMain::ShowProgressWindow() {
  if (!Progress->isVisible()) Progress->show();
}

}  // namespace pelmar
