// TfrmMain: the connection flow (site manager, address, last connections, new view, stop,
// disconnect), the host tabs, and what the remote panes report.

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardItem>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "listing/TimeOffset.h"
#include "mainwindow/MainWindow.h"
#include "platform/qt/QtEventTarget.h"
#include "settings/DataFolder.h"
#include "settings/Preferences.h"
#include "settings/SiteFile.h"
#include "settings/qt/ManagerDialog.h"
#include "settings/qt/UrlDialog.h"
#include "text/TextUtils.h"
#include "transfers/TransferQueue.h"
#include "transfers/qt/ConfirmDialogs.h"
#include "ui/ActivityAnimation.h"
#include "ui/Prompter.h"
#include "ui/QtText.h"
#include "ui/TreeCombo.h"
#include "viewer/Browser.h"
#include "views/qt/HostView.h"
#include "views/qt/LocalView.h"

namespace pelmar {

int TfrmMain::HostTabCount() const {
  return pgctrlHost->count();
}

QString TfrmMain::HostTabCaption(int index) const {
  return pgctrlHost->tabText(index);
}

THostView* TfrmMain::HostViewAt(int index) const {
  QWidget* page = pgctrlHost->widget(index);
  return page ? page->findChild<THostView*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void TfrmMain::SetCaptions(const QString& tabCaption) {
  if (pgctrlHost->currentIndex() >= 0)
    pgctrlHost->setTabText(pgctrlHost->currentIndex(), tabCaption);
  setWindowTitle(tabCaption + QStringLiteral(" - Pelmar"));
}

bool TfrmMain::NewHostView() {
  auto* page = new QWidget(pgctrlHost);
  auto* view = new THostView(page, Target);
  view->setParent(page);
  view->Queue = Transfers.get();
  view->Questions = Questions.get();
  view->ConfirmDelete = [this](int count, const QString& name, bool folder) {
    return ConfirmRemoteDelete(this, count, name, folder);
  };
  connect(view, &THostView::Logged, this, [this, view](const QString& text) {
    if (text == QStringLiteral("Failed to Log in to Host")) LogOnRefused = view;
    HostLog(*view, text);
  });
  connect(view, &TCustomView::StateUpdated, this,
          [this, view](int code, int) { HostUpdateState(*view, code); });
  connect(view, &THostView::Progressed, this,
          [this, view](qint64 count) { HostProgress(*view, count); });
  connect(view, &THostView::Transferred, this,
          [this, view](const QStringList& files, TFetchKind kind) {
            HostTransferred(*view, files, kind);
          });
  connect(view, &TCustomView::FileChanging, this, [this] { ViewFileChanging(); });
  connect(view, &THostView::ServerTimeZoneFound, this,
          [this, view](int minutes) { HostTimeZoneFound(*view, minutes); });
  view->OnTransfer = [this](TCustomView&) -> TCustomView* { return CurrentLocal; };
  view->OnPerformDoubleClick = [this](TCustomView&, const QModelIndex&) { HostDoubleClick(); };
  connect(view->ListView(), &TViewList::SelectionChanged, this, [this, view] { ListClick(*view); });
  for (QAbstractItemView* list : {static_cast<QAbstractItemView*>(view->ListView()->Icons()),
                                  static_cast<QAbstractItemView*>(view->ListView()->Details())}) {
    connect(list, &QWidget::customContextMenuRequested, this,
            [this, list](const QPoint& at) { ShowHostPopup(list, at); });
  }
  view->ListView()->SetViewStyle(static_cast<TViewStyle>(State.HostViewStyle));
  view->ListView()->RestoreColumns(State.HostColumns);
  view->SetSort(State.HostSort);
  if (CurrentHost) CurrentHost->SetTreeCombo(nullptr);
  const int index = pgctrlHost->addTab(page, QStringLiteral("Disconnected"));
  CurrentHost = view;
  view->SetTreeCombo(cmboHostTree);
  memoLog->clear();
  pgctrlHost->setCurrentIndex(index);
  SetCaptions(QStringLiteral("Disconnected"));
  HostUpdateState(*view, usIdle);
  HostEnabling(0);
  HostSide->Commands.CloseView->setEnabled(pgctrlHost->count() > 1);
  return true;
}

void TfrmMain::pgctrlHostChange() {
  THostView* view = HostViewAt(pgctrlHost->currentIndex());
  HostSide->Commands.CloseView->setEnabled(pgctrlHost->count() > 1);
  if (!view) return;
  if (CurrentHost && CurrentHost != view) CurrentHost->SetTreeCombo(nullptr);
  CurrentHost = view;
  HostSide->SetView(view);
  setWindowTitle(pgctrlHost->tabText(pgctrlHost->currentIndex()) + QStringLiteral(" - Pelmar"));
  view->SetTreeCombo(cmboHostTree);
  QStringList lines;
  for (const QString& entry : view->LogEntries) {
    const QString line = LogLine(entry);
    if (!line.isEmpty()) lines << line;
  }
  memoLog->setPlainText(lines.join(u'\n'));
  State.HostViewStyle = static_cast<int>(view->ListView()->ViewStyle());
  HostEnabling(view->SelectedCount());
}

void TfrmMain::btnHostCloseClick() {
  if (pgctrlHost->count() <= 1) return;
  const int index = pgctrlHost->currentIndex();
  QWidget* page = pgctrlHost->widget(index);
  THostView* closing = HostViewAt(index);
  if (closing && closing->Connected() && ConnectedCount > 0) --ConnectedCount;
  if (closing == CurrentHost) CurrentHost = nullptr;
  pgctrlHost->removeTab(index);
  // Later: events of the closing pane may be running on the stack.
  page->deleteLater();
  pgctrlHost->setCurrentIndex(index == 0 ? pgctrlHost->count() - 1 : index - 1);
  pgctrlHostChange();
}

bool TfrmMain::ResolvePassword(QString& password) {
  if (password.isEmpty() && Preferences().PromptForPass && AskPassword) {
    password = AskPassword(QString());
  }
  return !password.isEmpty();
}

void TfrmMain::HostTimeZoneFound(THostView& view, int minutes) {
  const std::string site = S(view.SiteName);
  TSiteFile file(DataFolder() + kSiteFileName);
  if (site.empty() || !file.Open().empty() || !file.HasSite(site)) return;
  int chosen = view.ServerTimeOffsetMinutes();
  // Offered, never set unasked; asked once per site either way.
  if (minutes != chosen) {
    const QString question =
        QStringLiteral(
            "The times %1 lists are %2 this computer's clock. Set the server time "
            "zone offset of the site \"%3\" to %4 hours?")
            .arg(Q(view.Engine().Server().Host), Q(TimeOffsetText(minutes)), Q(site),
                 QString::number(minutes / 60.0));
    if (Prompter().Confirm(this, QStringLiteral("Server time zone"), question)) {
      chosen = minutes;
      view.SetServerTimeOffset(minutes);
      view.RefreshFolder();
    }
  }
  if (const std::string error = file.SaveTimeZone(site, chosen); !error.empty()) {
    AppendLogLine(Q(error));
  }
}

void TfrmMain::btnConnectClick() {
  TSite site;
  bool chosen = false;
  if (ChooseSite) {
    chosen = ChooseSite(site);
  } else {
    TfrmManager manager(this, DataFolder() + kSiteFileName);
    chosen = manager.exec() == QDialog::Accepted;
    if (chosen) site = manager.Result();
  }
  if (!chosen || site.Host.empty()) return;
  ConnectSite(site);
}

void TfrmMain::ConnectSite(const TSite& site) {
  if (CurrentHost->Connected()) NewHostView();
  SetCaptions(Q(site.Name));
  QString password = Q(site.Password);
  // SFTP tries the keys first: a password is asked for once the server refused them.
  if (site.Protocol != prSftp && !ResolvePassword(password)) return;
  if (!site.LocalFolder1.empty()) OpenLocalFolder(Q(site.LocalFolder1), true);
  for (const std::string& folder : {site.LocalFolder2, site.LocalFolder3}) {
    if (!folder.empty()) OpenLocalFolder(Q(folder), false);
  }
  bool ok = false;
  int port = Q(site.Port).toInt(&ok);
  if (!ok || port <= 0) port = UsualPort(site.Protocol, site.Encryption);
  CurrentHost->Connect(TServer{.Host = site.Host,
                               .Port = port,
                               .User = site.User,
                               .Password = S(password),
                               .Encryption = site.Encryption,
                               .Protocol = site.Protocol,
                               .KeyFile = site.KeyFile},
                       Q(site.HostFolder), QString());
  CurrentHost->SetServerTimeOffset(site.TimeOffsetMinutes);
  CurrentHost->SiteName = Q(site.Name);
  if (!site.TimeZoneChecked) CurrentHost->CheckServerTimeZone();
  AddLastConnection(Q(site.Name));
}

void TfrmMain::ConnectToLast(int index) {
  if (index < 0 || index >= 8 || State.LastConnections[static_cast<size_t>(index)].isEmpty())
    return;
  TSiteFile file(DataFolder() + kSiteFileName);
  if (!file.Open().empty()) return;
  const TSite site =
      file.ReadSite(S(State.LastConnections[static_cast<size_t>(index)]), Preferences().EMail);
  if (site.Host.empty()) return;
  if (!file.KeyringProblem().empty()) AppendLogLine(Q(file.KeyringProblem()));
  ConnectSite(site);
}

void TfrmMain::btnConnectURLClick() {
  TfrmURL dialog(this, Browser != nullptr);
  dialog.DefaultPassword = Q(Preferences().EMail);
  dialog.Account.clear();
  dialog.Port = 21;
  if (dialog.exec() == QDialog::Accepted) ConnectFromUrlDialog(dialog);
}

void TfrmMain::ConnectToUrl(const QString& address) {
  TfrmURL dialog(this, Browser != nullptr);
  dialog.DefaultPassword = Q(Preferences().EMail);
  dialog.SetAddress(address);
  if (dialog.OkEnabled()) ConnectFromUrlDialog(dialog);
}

void TfrmMain::ConnectFromUrlDialog(TfrmURL& dialog) {
  if (!dialog.Commit()) {
    // An HTTP address is the viewer's, not a connection.
    if (dialog.Http() && Browser) {
      Commands.Explorer->setChecked(true);
      Browser->Navigate(dialog.Address());
    }
    return;
  }
  if (CurrentHost->Connected()) NewHostView();
  SetCaptions(dialog.Host);
  QString password = dialog.Password;
  if (dialog.Protocol != prSftp && !ResolvePassword(password)) return;
  // No last-connection entry and no local folder for an address.
  CurrentHost->Connect(TServer{.Host = S(dialog.Host),
                               .Port = dialog.Port,
                               .User = S(dialog.User),
                               .Password = S(password),
                               .Account = S(dialog.Account),
                               .Encryption = dialog.Encryption,
                               .Protocol = dialog.Protocol},
                       dialog.Folder, dialog.FileName);
}

void TfrmMain::btnHostNewClick() {
  THostView* old = CurrentHost;
  const bool connected = old->Connected();
  const TServer server = old->Engine().Server();
  const QString folder = old->Folder();
  const QString caption = pgctrlHost->tabText(pgctrlHost->currentIndex());
  NewHostView();
  if (connected) {
    SetCaptions(caption);
    CurrentHost->Connect(server, folder, QString());
  } else {
    btnConnectClick();
  }
}

void TfrmMain::btnStopClick() {
  if (CurrentHost->BuildingList) {
    CurrentHost->Stop();
  } else {
    CurrentHost->Engine().Abort();
    CurrentHost->Stop();
  }
}

void TfrmMain::btnDisconnectClick() {
  CurrentHost->Disconnect();
}

void TfrmMain::HostLog(THostView& sender, const QString& text) {
  if (&sender != CurrentHost) return;
  const QString line = LogLine(text);
  if (!line.isEmpty()) AppendLogLine(line);
}

void TfrmMain::HostUpdateState(TCustomView& senderView, int code) {
  auto* sender = dynamic_cast<THostView*>(&senderView);
  if (!sender) return;
  PlayStateSound(code);  // whichever view sends it
  switch (code) {
    case usBusy:
      sender->Animating = true;
      break;
    case usIdle:
      sender->Animating = false;
      break;
    case usConnected:
      if (ConnectedCount < pgctrlHost->count()) ++ConnectedCount;
      cmboHostTree->setEnabled(ConnectedCount >= 1);
      break;
    case usDisconnected: {
      sender->Animating = false;
      if (ConnectedCount > 0) --ConnectedCount;
      cmboHostTree->setEnabled(ConnectedCount >= 1);
      for (int i = 0; i < pgctrlHost->count(); ++i) {
        if (HostViewAt(i) == sender) pgctrlHost->setTabText(i, QStringLiteral("Disconnected"));
      }
      if (sender == CurrentHost) setWindowTitle(QStringLiteral("Disconnected - Pelmar"));
      break;
    }
    case usConnectFailed:
      if (LogOnRefused == sender) {
        LogOnRefused = nullptr;
        // Asked once the engine's reports of this attempt are all delivered.
        QTimer::singleShot(0, this, [this, view = QPointer<THostView>(sender)] {
          if (view) OfferLogOnAgain(*view);
        });
      }
      break;
    default:
      break;
  }
  // The commands' enabling follows the current server view through its side (HostEnabling).
}

void TfrmMain::OfferLogOnAgain(THostView& view) {
  if (view.Connected()) return;
  TServer server = view.Engine().Server();
  const QString host = Q(server.Host);
  const QString user = Q(server.User);
  // An SFTP server refused the keys first: the password may be missing rather than wrong.
  const QString text =
      server.Protocol == prSftp
          ? QStringLiteral(
                "%1 refused to log in %2: it accepted none of the keys, and the "
                "password is missing or wrong.")
                .arg(host, user.isEmpty() ? QStringLiteral("the SSH user") : user)
          : QStringLiteral("%1 refused to log in %2: the user name or the password is wrong.")
                .arg(host, user);
  const int choice = Prompter().Choose(
      this, QStringLiteral("Failed to Log in to Host"), text,
      {QStringLiteral("Enter &Password"), QStringLiteral("Open &Site"), QStringLiteral("Cancel")},
      0, 2);
  if (choice == 1) {
    btnConnectClick();
    return;
  }
  if (choice != 0 || !AskPassword) return;
  const QString password = AskPassword(user.isEmpty() ? host : user + QStringLiteral("@") + host);
  if (password.isEmpty()) return;
  // The tab says "Disconnected" since the refusal: it takes the site's name, or the host, again.
  const QString caption = view.SiteName.isEmpty() ? host : view.SiteName;
  for (int i = 0; i < pgctrlHost->count(); ++i) {
    if (HostViewAt(i) == &view) pgctrlHost->setTabText(i, caption);
  }
  if (&view == CurrentHost) setWindowTitle(caption + QStringLiteral(" - Pelmar"));
  server.Password = S(password);
  // The same site again: its name and clock offset stay with the pane.
  const QString siteName = view.SiteName;
  const int offset = view.ServerTimeOffsetMinutes();
  view.Connect(server, view.Folder(), QString());
  view.SiteName = siteName;
  view.SetServerTimeOffset(offset);
}

void TfrmMain::HostEnabling(int selected) {
  if (!CurrentHost) return;
  aviActivity->SetActive(CurrentHost->Animating || QueuedTransfersRunning);
  ApplyEnabling(CurrentHost->Connected(), CurrentHost->Animating, selected);
}

void TfrmMain::ApplyEnabling(bool connected, bool busy, int selected) {
  const bool engineBusy = CurrentHost->Engine().IsBusy();
  Commands.Stop->setEnabled(connected || engineBusy);
  Commands.Disconnect->setEnabled(connected);
  Commands.Download->setEnabled(connected && selected >= 1 && !busy);
  HostSide->Commands.Delete->setEnabled(connected && selected >= 1 && !busy);
  HostSide->Commands.Rename->setEnabled(connected && selected == 1 && !busy);
  for (QAction* command :
       {HostSide->Commands.NewFolder, HostSide->Commands.Mask, HostSide->Commands.Refresh,
        HostSide->Commands.ChDir, HostSide->Commands.Edit, HostSide->Commands.ViewStyle,
        Commands.CompareFolders, Commands.Synchronize}) {
    command->setEnabled(connected && !busy);
  }
  HostSide->Commands.Properties->setEnabled(selected >= 1 && !busy);
  // Edit takes the focused file (the popup and the Server menu look again as they open).
  const QModelIndex focused = CurrentHost->ListView()->FocusedItem();
  HostSide->Commands.EditFile->setEnabled(connected && !busy && selected >= 1 &&
                                          focused.isValid() && !CurrentHost->IsFolder(focused));
  findChild<QMenu*>(QStringLiteral("mnuHostEdit"))->setEnabled(connected && !busy);
  HostSide->Commands.Up->setEnabled(connected && cmboHostTree->SelectedNode() &&
                                    cmboHostTree->SelectedNode()->parent() != nullptr);
}

void TfrmMain::HostProgress(THostView&, int64_t count) {
  StatusPanels[2]->setText(
      count < 0 ? QString() : Q(ThousandsText(std::to_string(count))) + QStringLiteral(" Bytes"));
}

bool TfrmMain::OpenLocalFolder(const QString& pathText, bool activate) {
  const QFileInfo info(pathText);
  if (!info.isDir()) return false;
  const QString path = info.absoluteFilePath();
  auto same = [&path](TLocalView* view) {
    return view && !view->Folder().isEmpty() &&
           QDir(view->Folder()).absolutePath() == path;  // Linux paths are case-sensitive
  };
  if (activate && CurrentLocal && !same(CurrentLocal)) {
    CurrentLocal->ChangeFolder(path);
    LocalChange();
    return true;
  }
  for (int i = 0; i < pgctrlLocal->count(); ++i) {
    auto* view = pgctrlLocal->widget(i)->findChild<TLocalView*>();
    if (same(view)) {
      if (activate) pgctrlLocal->setCurrentIndex(i);
      return true;
    }
  }
  int index = 0;
  AddLocalTab(path, QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName(), true,
              index);
  if (activate) pgctrlLocal->setCurrentIndex(index);
  return true;
}

void TfrmMain::LocalChange() {
  QWidget* page = pgctrlLocal->currentWidget();
  if (!page) return;
  if (auto* view = page->findChild<TLocalView*>()) {
    CurrentLocal = view;
    LocalSide->SetView(view);
    State.LocalViewStyle = static_cast<int>(view->ListView()->ViewStyle());
  }
}

void TfrmMain::LocalFolderChanged(const QString& folder) {
  if (folder.isEmpty()) return;
  cmboLocalTree->setEditText(folder);
  const QDir dir(folder);
  const QString name = QFileInfo(dir.absolutePath()).fileName();
  pgctrlLocal->setTabText(pgctrlLocal->currentIndex(), name.isEmpty() ? dir.absolutePath() : name);
  LocalSide->Commands.Up->setEnabled(!dir.isRoot());
}

}  // namespace pelmar
