// The internal viewer in place of the message log, and the outside programs: the text viewer
// and the text editor of the preferences, and the HTML editor registered as "Tessaro".

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolButton>
#include <algorithm>

#include "mainwindow/MainWindow.h"
#include "platform/qt/QtEventTarget.h"
#include "settings/Preferences.h"
#include "text/PrivateFolder.h"
#include "text/TextUtils.h"
#include "ui/ActivityAnimation.h"
#include "ui/DesktopPrograms.h"
#include "ui/Prompter.h"
#include "ui/QtText.h"
#include "viewer/Browser.h"
#include "views/qt/HostView.h"
#include "views/qt/LocalView.h"

namespace pelmar {
namespace {

constexpr const char* kStartPage = "qrc:/pelmar/welcome.html";

bool IsEditable(const QString& name) {
  static const QString kEditable = QStringLiteral(".html .htm .shtml .asp .cfm .txt .css .asi ");
  const qsizetype dot = name.lastIndexOf(u'.');
  return dot >= 0 && kEditable.contains(name.mid(dot).toLower() + u' ');
}

// A local file's address for the viewer; empty when it is not a file (any more).
QString LocalPage(const QString& path) {
  return QFileInfo(path).isFile() ? QUrl::fromLocalFile(path).toString() : QString();
}

QString FolderOf(const QString& program) {
  return QFileInfo(program).absolutePath();
}

}  // namespace

void TfrmMain::CreateViewer() {
  Browser = new TBrowser(Target, LogStack);
  LogStack->addWidget(Browser);
  // The toolbar animation turns while a page loads, unless a transfer reports in the status
  // line (the progress window drives it then).
  connect(Browser, &TBrowser::DownloadBegin, this, [this] {
    if (StatusPanels[1]->text().isEmpty()) aviActivity->SetActive(true);
  });
  connect(Browser, &TBrowser::DownloadComplete, this, [this] {
    if (StatusPanels[1]->text().isEmpty()) aviActivity->SetActive(CurrentHost->Animating);
  });
  BindToggle(Commands.Explorer, [this](bool shown) { ShowViewer(shown); });

  // The registered command names its program first ("/usr/bin/editor %1"); the files are
  // handed over as arguments of their own.
  EditorCommand =
      Q(ProgramOfCommand(S(Settings->value("Classes/htmlfile/shell/Tessaro/command").toString())));
  StartProgram = [](const QString& program, const QStringList& arguments, const QString& folder) {
    // Each path is an argument of its own: no shell, so nothing in a name is ever run.
    return QProcess::startDetached(program, arguments, folder);
  };
  OpenDocument = [](const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
  };

  PopEdit = new QMenu(this);
  PopEdit->setObjectName("PopEdit");
  PopEditNotePad = PopEdit->addAction(QStringLiteral("Edit with &NotePad"));
  PopEditNotePad->setObjectName("PopEditNotePad");
  PopEditTessaro = PopEdit->addAction(QStringLiteral("Edit with &Tessaro"));
  PopEditTessaro->setObjectName("PopEditTessaro");
  QAction* notePad = PopEditNotePad;
  QAction* tessaro = PopEditTessaro;
  connect(notePad, &QAction::triggered, this,
          [this] { PopEditNotePadClick(PopEditFromLocal, false); });
  connect(tessaro, &QAction::triggered, this,
          [this] { PopEditNotePadClick(PopEditFromLocal, true); });
  for (const auto& [action, button, local] :
       {std::tuple{LocalSide->Commands.Edit, "btnLocalEdit", true},
        std::tuple{HostSide->Commands.Edit, "btnHostEdit", false}}) {
    auto* anchor = findChild<QToolButton*>(QLatin1String(button));
    connect(action, &QAction::triggered, this, [this, anchor, fromLocal = local] {
      PopEditFromLocal = fromLocal;
      PopEditPopup(fromLocal);
      PopEdit->popup(anchor->mapToGlobal(QPoint(0, anchor->height())));
    });
  }
  connect(LocalSide->Commands.EditNotePad, &QAction::triggered, this,
          [this] { PopEditNotePadClick(true, false); });
  connect(LocalSide->Commands.EditTessaro, &QAction::triggered, this,
          [this] { PopEditNotePadClick(true, true); });
  connect(HostSide->Commands.EditNotePad, &QAction::triggered, this,
          [this] { PopEditNotePadClick(false, false); });
  connect(HostSide->Commands.EditTessaro, &QAction::triggered, this,
          [this] { PopEditNotePadClick(false, true); });
  // Edit: the same command in the Server menu, the server pane's popup and on F4.
  QAction* editFile = HostSide->Commands.EditFile;
  editFile->setShortcut(QKeySequence(Qt::Key_F4));
  addAction(editFile);
  connect(editFile, &QAction::triggered, this, &TfrmMain::mnuHostEditFileClick);
  connect(findChild<QMenu*>(QStringLiteral("mnuLocal")), &QMenu::aboutToShow, this,
          [this] { PopEditPopup(true); });
  connect(findChild<QMenu*>(QStringLiteral("mnuHost")), &QMenu::aboutToShow, this,
          [this] { PopEditPopup(false); });
}

bool TfrmMain::ViewerShown() const {
  return Browser && LogStack->currentWidget() == Browser;
}

void TfrmMain::ShowViewer(bool shown) {
  if (!shown) {
    LogStack->setCurrentWidget(memoLog);
    // The log goes back to the height it had.
    if (LogHeightBeforeViewer > 0) {
      const int total = barMilieu->sizes().value(0) + barMilieu->sizes().value(1);
      barMilieu->setSizes({LogHeightBeforeViewer, std::max(total - LogHeightBeforeViewer, 0)});
      LogHeightBeforeViewer = 0;
    }
    return;
  }
  LogStack->setCurrentWidget(Browser);
  // A panel folded away for a hidden log opens for the viewer.
  if (!LogStack->isVisible()) Commands.ShowLog->setChecked(true);
  // A picture or a page needs room: the viewer takes at least 40% of the height the log and
  // the panes share.
  const QList<int> sizes = barMilieu->sizes();
  const int total = sizes.value(0) + sizes.value(1);
  if (total > 0 && sizes.value(0) < total * 2 / 5) {
    LogHeightBeforeViewer = sizes.value(0);
    barMilieu->setSizes({total * 2 / 5, total - total * 2 / 5});
  }
  QString page;
  bool remote = false;
  TViewList& host = *CurrentHost->ListView();
  TViewList& local = *CurrentLocal->ListView();
  const QWidget* focus = QApplication::focusWidget();
  if (!host.SelectedItems().isEmpty() && host.isAncestorOf(focus) && host.FocusedItem().isValid()) {
    page = CurrentHost->BuildUrl(host.FocusedItem());
    remote = true;
  } else if (!local.SelectedItems().isEmpty() && local.isAncestorOf(focus)) {
    page = LocalPage(CurrentLocal->GetItemPath(local.SelectedItems().first()));
  }
  // A server's file is fetched with the pane's own log-on (whatever its scheme), never
  // through its address, which holds no password.
  if (!page.isEmpty() && IsPreviewable(page) && remote) {
    NavigateToRemote(host.FocusedItem());
  } else {
    Browser->Navigate(!page.isEmpty() && IsPreviewable(page) ? page
                                                             : QString::fromLatin1(kStartPage));
  }
}

void TfrmMain::NavigateToRemote(const QModelIndex& item) {
  // The view's own credentials go to the viewer's connection, never through an address.
  Browser->NavigateRemote(
      {CurrentHost->Engine().Server(), CurrentHost->GetItemPath(item).toStdString()});
}

void TfrmMain::ListClick(TCustomView& sender) {
  if (!ViewerShown() || Browser->Tag != 0) return;
  QString page;
  TViewList& list = *sender.ListView();
  const QModelIndexList selected = list.SelectedItems();
  if (&sender == CurrentLocal && !selected.isEmpty() &&
      IsPreviewable(sender.GetItemName(selected.first()))) {
    page = LocalPage(sender.GetItemPath(selected.first()));
  } else if (&sender == CurrentHost && !selected.isEmpty() && list.FocusedItem().isValid() &&
             IsPreviewable(list.FocusedItem().data(Qt::DisplayRole).toString())) {
    page = CurrentHost->BuildUrl(list.FocusedItem());
  } else {
    return;
  }
  Browser->Tag = 1;
  if (&sender == CurrentHost) {
    NavigateToRemote(list.FocusedItem());
  } else {
    Browser->Navigate(page);
  }
  Browser->Tag = 0;
}

void TfrmMain::ViewFileChanging() {
  // A file about to be deleted or renamed is never being read for a preview.
  if (Browser && Browser->Busy()) Browser->Stop();
}

void TfrmMain::ReportStartFailure(const QString& program, bool chosen) {
  QString reason = ProgramProblem(program);
  if (reason.isEmpty()) reason = QStringLiteral("could not be started");
  Prompter().Error(this, QStringLiteral("Pelmar"), StartFailureText(program, reason, chosen));
}

void TfrmMain::ReportOpenFailure(const QString& path) {
  // The desktop opens files through xdg-open: its absence is the usual reason.
  const QString opener = QStringLiteral("xdg-open");
  const QString reason = ProgramProblem(opener);
  Prompter().Error(this, QStringLiteral("Pelmar"),
                   reason.isEmpty() ? QStringLiteral("xdg-open: could not open %1").arg(path)
                                    : StartFailureText(opener, reason, false));
}

bool TfrmMain::StartCommand(const QString& command, const QStringList& files, const QString& folder,
                            bool chosen) {
  QStringList arguments = QProcess::splitCommand(command);
  const QString program = arguments.isEmpty() ? QString() : arguments.takeFirst();
  if (program.isEmpty() || !StartProgram(program, arguments + files, folder)) {
    ReportStartFailure(program, chosen);
    return false;
  }
  return true;
}

QString TfrmMain::TextEditorCommand() {
  const QString chosen = QString::fromStdString(Preferences().Editor).trimmed();
  return chosen.isEmpty() ? DesktopTextEditor() : chosen;
}

void TfrmMain::mnuHostEditFileClick() {
  if (!CurrentHost || !CurrentLocal) return;
  PendingEditors[CurrentHost] = TextEditorCommand();
  if (!CurrentHost->FetchSelected(*CurrentLocal, TFetchKind::Edit)) {
    PendingEditors.erase(CurrentHost);
  }
}

void TfrmMain::HostTransferred(THostView& host, const QStringList& files, TFetchKind kind) {
  if (files.isEmpty()) return;
  const QString temporary = QString::fromStdString(PrivateFolder());
  switch (kind) {
    case TFetchKind::Open:
      if (!OpenDocument(files.first())) ReportOpenFailure(files.first());
      break;
    case TFetchKind::View: {
      const QString viewer = QString::fromStdString(Preferences().Viewer);
      for (const QString& file : files) {
        if (!StartProgram(viewer, {file}, temporary)) ReportStartFailure(viewer, true);
      }
      break;
    }
    case TFetchKind::Edit: {
      // Edit's editor, or the registered one that "Edit with Tessaro" fetched for.
      const auto pending = PendingEditors.find(&host);
      const QString command =
          pending != PendingEditors.end() ? pending->second : JoinCommand({EditorCommand});
      if (pending != PendingEditors.end()) PendingEditors.erase(pending);
      // Watched before the editor starts: a quick save must not go unseen.
      WatchEditedFiles(host, files);
      if (!StartCommand(command, files, temporary, true)) {
        for (const QString& file : files) {
          EditedFiles.erase(file);
          if (EditWatch) EditWatch->removePath(file);
        }
      }
      break;
    }
    default:
      break;
  }
}

void TfrmMain::PopEditNotePadClick(bool local, bool tessaro) {
  if (!local) {
    if (tessaro) PendingEditors[CurrentHost] = JoinCommand({EditorCommand});
    CurrentHost->FetchSelected(*CurrentLocal, tessaro ? TFetchKind::Edit : TFetchKind::View);
    return;
  }
  QStringList paths;
  for (const QModelIndex& item : CurrentLocal->ListView()->SelectedItems()) {
    paths << CurrentLocal->GetItemPath(item);
  }
  if (paths.isEmpty()) return;
  if (tessaro) {
    if (!EditorCommand.isEmpty() && !StartProgram(EditorCommand, paths, FolderOf(EditorCommand))) {
      ReportStartFailure(EditorCommand, false);
    }
    return;
  }
  const QString viewer = QString::fromStdString(Preferences().Viewer);
  for (const QString& path : paths) {
    // The rest of the selection is tried after a failure.
    if (!StartProgram(viewer, {path}, FolderOf(viewer))) ReportStartFailure(viewer, true);
  }
}

void TfrmMain::PopEditPopup(bool local) {
  bool notePad = false;
  bool tessaro = false;
  if (local) {
    const QModelIndexList selected = CurrentLocal->ListView()->SelectedItems();
    if (!selected.isEmpty()) {
      const bool folder = CurrentLocal->IsFolder(selected.first());
      notePad = !folder;
      tessaro = !EditorCommand.isEmpty() && !folder &&
                IsEditable(CurrentLocal->GetItemName(selected.first()));
    }
  } else {
    TViewList& list = *CurrentHost->ListView();
    const QModelIndex focused = list.FocusedItem();
    if (!list.SelectedItems().isEmpty() && focused.isValid()) {
      notePad = !CurrentHost->IsFolder(focused);
      tessaro = !EditorCommand.isEmpty() && IsEditable(CurrentHost->GetItemName(focused));
    }
  }
  const TPaneCommands& side = (local ? LocalSide : HostSide)->Commands;
  if (!local)
    side.EditFile->setEnabled(notePad && CurrentHost->Connected() && !CurrentHost->Busy());
  PopEditNotePad->setEnabled(notePad);
  PopEditTessaro->setEnabled(tessaro);
  side.EditNotePad->setEnabled(notePad);
  side.EditTessaro->setEnabled(tessaro);
}

}  // namespace pelmar
