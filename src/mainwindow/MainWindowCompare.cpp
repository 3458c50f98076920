// Compare Folders: selects in each pane what it has to offer to the other.

#include <QAction>
#include <QPointer>

#include "mainwindow/CompareFolders.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/SynchronizeDialog.h"
#include "settings/qt/UrlDialog.h"
#include "views/qt/HostView.h"
#include "views/qt/LocalView.h"

namespace pelmar {
namespace {

std::vector<TCompareEntry> ShownEntries(TCustomView& view) {
  std::vector<TCompareEntry> entries;
  TViewList& list = *view.ListView();
  const int rows = list.RowCount();
  entries.reserve(static_cast<size_t>(rows));
  for (int row = 0; row < rows; ++row) {
    const QModelIndex item = list.Row(row);
    entries.push_back({item.data(Qt::DisplayRole).toString(),
                       view.IsFolder(item) ? 0 : view.GetItemSize(item), view.GetItemDate(item)});
  }
  return entries;
}

}  // namespace

void TfrmMain::mnuCompareFoldersClick() {
  TfrmCompareOptions options(this);
  if (options.exec() != QDialog::Accepted) return;
  CompareFolders(options.IgnoreSize(), options.IgnoreDate());
}

void TfrmMain::mnuSynchronizeClick() {
  if (!CurrentHost->Connected()) return;
  if (CurrentHost->Synchronizing()) {
    AppendLogLine(QStringLiteral("Synchronize: the last one is still copying or deleting"));
    return;
  }
  // Either pane may be closed while the dialog is open.
  const QPointer<THostView> host = CurrentHost;
  const QPointer<TLocalView> local = CurrentLocal;
  TfrmSynchronize dialog(
      this, local->Folder(), host->Folder(),
      [host, local](bool upload, bool bothWays, bool deleteExtra, bool textMode) {
        return host && local ? host->PlanSync(*local, upload, bothWays, deleteExtra, textMode)
                             : TSyncPlan{};
      });
  dialog.SetMaxDelete(SyncMaxDelete);
  const bool chosen = RunSyncDialog ? RunSyncDialog(dialog) : dialog.exec() == QDialog::Accepted;
  SyncMaxDelete = dialog.MaxDelete();
  if (!chosen || dialog.Plan().Steps.empty() || !host || !local) return;
  host->QueueSync(dialog.Plan(), *local, dialog.Upload(), dialog.TextMode(), dialog.MaxDelete());
  int files = 0;
  for (const TSyncStep& step : dialog.Plan().Steps) {
    files += step.Kind == TSyncKind::Copy && !step.IsFolder;
  }
  AppendLogLine(QStringLiteral("Synchronize: %1 files queued").arg(files));
}

void TfrmMain::CompareFolders(bool ignoreSize, bool ignoreDate) {
  TViewList& local = *CurrentLocal->ListView();
  TViewList& host = *CurrentHost->ListView();
  local.ClearSelection();
  host.ClearSelection();
  const std::vector<TCompareEntry> localEntries = ShownEntries(*CurrentLocal);
  const std::vector<TCompareEntry> hostEntries = ShownEntries(*CurrentHost);
  local.SelectRows(CompareOneWay(localEntries, hostEntries, ignoreSize, ignoreDate));
  host.SelectRows(CompareOneWay(hostEntries, localEntries, ignoreSize, ignoreDate));
}

}  // namespace pelmar
