#include "transfers/qt/TransferManager.h"

#include <QAction>
#include <QCloseEvent>
#include <QDrag>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QVBoxLayout>
#include <algorithm>

#include "transfers/TransferQueue.h"
#include "transfers/qt/TransferListModel.h"
#include "transfers/qt/TransferWindow.h"

namespace pelmar {
namespace {

// Rows dragged within the list carry nothing another program could use.
constexpr const char* kRowMime = "application/x-pelmar-transfer-row";

}  // namespace

void TTransferList::startDrag(Qt::DropActions) {
  // The drop moves the row itself; the view must not delete the dragged row afterwards, as
  // it would after a move it started through the model.
  if (!currentIndex().isValid()) return;
  auto* drag = new QDrag(this);
  auto* rowData = new QMimeData;
  rowData->setData(QLatin1String(kRowMime), QByteArray::number(currentIndex().row()));
  drag->setMimeData(rowData);
  drag->exec(Qt::MoveAction);
}

void TTransferList::dragEnterEvent(QDragEnterEvent* event) {
  if (event->source() == this && event->mimeData()->hasFormat(QLatin1String(kRowMime))) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void TTransferList::dragMoveEvent(QDragMoveEvent* event) {
  const bool onRow = indexAt(event->position().toPoint()).isValid();
  if (event->source() == this && event->mimeData()->hasFormat(QLatin1String(kRowMime)) && onRow) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void TTransferList::dropEvent(QDropEvent* event) {
  const QModelIndex target = indexAt(event->position().toPoint());
  if (event->source() != this || !target.isValid()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  emit RowDropped(target.row());
}

TfrmTransferMngr::TfrmTransferMngr(TTransferItems& queue, TfrmTransfer& progress)
    : QWidget(nullptr, Qt::Window), Queue(queue), Progress(progress) {
  setObjectName("TfrmTransferMngr");
  // The main window's companion: it never keeps the program running on its own.
  setAttribute(Qt::WA_QuitOnClose, false);
  setWindowTitle(QStringLiteral("Transfer Manager"));
  resize(700, 260);
  Model = new TTransferListModel(Queue, this);
  lvTransfer = new TTransferList(this);
  lvTransfer->setObjectName("lvTransfer");
  lvTransfer->setAccessibleName(QStringLiteral("Transfers"));
  lvTransfer->setModel(Model);
  lvTransfer->setShowGrid(true);
  lvTransfer->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvTransfer->setSelectionMode(QAbstractItemView::SingleSelection);
  lvTransfer->setDragEnabled(true);
  lvTransfer->setAcceptDrops(true);
  lvTransfer->setDropIndicatorShown(true);
  lvTransfer->setWordWrap(false);
  lvTransfer->verticalHeader()->hide();
  lvTransfer->verticalHeader()->setDefaultSectionSize(lvTransfer->fontMetrics().height() + 6);
  lvTransfer->horizontalHeader()->setStretchLastSection(true);
  // Each column starts as wide as its header; names, folders and sizes of many gigabytes get
  // room enough to read.
  const int digits =
      lvTransfer->fontMetrics().horizontalAdvance(QStringLiteral("0000000000000")) + 12;
  for (int column = 0; column < TTransferListModel::colCount; ++column) {
    const int header = lvTransfer->horizontalHeader()->sectionSizeHint(column);
    const bool size = column == TTransferListModel::colSize;
    lvTransfer->setColumnWidth(column, std::max(header, size ? digits : 120));
  }
  lvTransfer->setContextMenuPolicy(Qt::CustomContextMenu);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(lvTransfer);

  mnupopTransfer = new QMenu(this);
  mnupopTransfer->setObjectName("mnupopTransfer");
  CancelMnuItm = mnupopTransfer->addAction(QStringLiteral("&Cancel"));
  CancelMnuItm->setObjectName("CancelMnuItm");
  ResubmitMnuItm = mnupopTransfer->addAction(QStringLiteral("&Re-submit"));
  ResubmitMnuItm->setObjectName("ResubmitMnuItm");
  connect(CancelMnuItm, &QAction::triggered, this, &TfrmTransferMngr::CancelMnuItmClick);
  connect(ResubmitMnuItm, &QAction::triggered, this, &TfrmTransferMngr::ResubmitMnuItmClick);
  connect(lvTransfer, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    RememberRow(lvTransfer->indexAt(at).row());
    mnupopTransfer->popup(lvTransfer->viewport()->mapToGlobal(at));
  });
  // Any other click forgets the row the menu was for.
  connect(lvTransfer, &QAbstractItemView::pressed, this, [this] { Remembered = 0; });
  connect(lvTransfer, &TTransferList::RowDropped, this, &TfrmTransferMngr::DropOn);
}

TfrmTransferMngr::~TfrmTransferMngr() = default;

void TfrmTransferMngr::RememberRow(int row) {
  const TTransferItem* remembered = Model->ItemAt(row);
  Remembered = remembered ? remembered->Id : 0;
  TTransferItem* item = RememberedItem();
  const TTransferState state = item ? item->State : tsDone;
  CancelMnuItm->setEnabled(item && (state == tsPending || state == tsActive));
  ResubmitMnuItm->setEnabled(item && (state == tsCancelled || state == tsFailed));
}

TTransferItem* TfrmTransferMngr::RememberedItem() const {
  // The row's item must still be in the queue.
  return Remembered != 0 ? Queue.FindItem(Remembered) : nullptr;
}

void TfrmTransferMngr::CancelMnuItmClick() {
  TTransferItem* item = RememberedItem();
  if (!item) return;
  if (item->State == tsActive) {
    Progress.Skip();
  } else {
    Queue.Cancel(*item);
  }
}

void TfrmTransferMngr::ResubmitMnuItmClick() {
  TTransferItem* item = RememberedItem();
  if (!item || (item->State != tsCancelled && item->State != tsFailed)) return;
  Queue.Resubmit(*item);
}

void TfrmTransferMngr::DropOn(int targetRow) {
  const QModelIndexList selected = lvTransfer->selectionModel()->selectedRows();
  if (selected.isEmpty()) return;
  const int from = selected.first().row();
  TTransferItem* item = Model->ItemAt(from);
  if (!item || !Model->ItemAt(targetRow) || from == targetRow) return;
  const int queueFrom = Queue.IndexOf(item);
  const int queueTo = Queue.IndexOf(Model->ItemAt(targetRow));
  Queue.Move(queueFrom, queueTo);
  Model->MoveRow(from, targetRow);
  lvTransfer->selectRow(targetRow);
}

void TfrmTransferMngr::closeEvent(QCloseEvent* event) {
  event->accept();
  emit Closed();
}

}  // namespace pelmar
