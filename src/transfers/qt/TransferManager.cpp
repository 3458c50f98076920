#include "transfers/qt/TransferManager.h"

#include <QAction>
#include <QCloseEvent>
#include <QDrag>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QVBoxLayout>
#include <algorithm>

#include "transfers/TransferQueue.h"
#include "transfers/qt/ManagerPlacement.h"
#include "transfers/qt/TransferListModel.h"
#include "transfers/qt/TransferWindow.h"

namespace pelmar {
namespace {

// Rows dragged within the list carry nothing another program could use.
constexpr const char* kRowMime = "application/x-pelmar-transfer-row";
// Where the person left the window, in the main window's settings (numbers as text, as the
// main window's own bounds are kept).
constexpr const char* kLeftKey = "TransferManager/Left";
constexpr const char* kTopKey = "TransferManager/Top";

QList<QRect> ScreenAreas() {
  QList<QRect> areas;
  for (const QScreen* screen : QGuiApplication::screens()) areas << screen->availableGeometry();
  return areas;
}

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
  Model = new TTransferListModel(Queue, this);
  lvTransfer = new TTransferList(this);
  lvTransfer->setObjectName("lvTransfer");
  lvTransfer->setAccessibleName(QStringLiteral("Transfers"));
  lvTransfer->setModel(Model);
  lvTransfer->setShowGrid(true);
  lvTransfer->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvTransfer->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvTransfer->setDragEnabled(true);
  lvTransfer->setAcceptDrops(true);
  lvTransfer->setDropIndicatorShown(true);
  lvTransfer->setWordWrap(false);
  lvTransfer->verticalHeader()->hide();
  lvTransfer->verticalHeader()->setDefaultSectionSize(lvTransfer->fontMetrics().height() + 6);
  lvTransfer->horizontalHeader()->setStretchLastSection(true);
  // Each column starts as wide as its header and its longest usual text: names and folders get
  // room enough to read, sizes of many gigabytes ("99,999,999KB") and "Download" fit whole.
  const QFontMetrics metrics = lvTransfer->fontMetrics();
  auto fits = [&metrics](const char* text) {
    return metrics.horizontalAdvance(QLatin1String(text)) + 16;
  };
  for (int column = 0; column < TTransferListModel::colCount; ++column) {
    const int header = lvTransfer->horizontalHeader()->sectionSizeHint(column);
    int wanted = 120;
    if (column == TTransferListModel::colSize) wanted = fits("99,999,999KB");
    if (column == TTransferListModel::colDirection) wanted = fits("Download");
    lvTransfer->setColumnWidth(column, std::max(header, wanted));
  }
  // Wide enough that the status of a running or failed item reads whole in the usual cases.
  int width = fits("Aborted due to Error: Connection refused") +
              lvTransfer->verticalScrollBar()->sizeHint().width() + 2 * lvTransfer->frameWidth();
  for (int column = 0; column < TTransferListModel::colStatus; ++column) {
    width += lvTransfer->columnWidth(column);
  }
  resize(std::max(width, 700), 260);
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
  mnupopTransfer->addSeparator();
  // One action per command: the menu shows it and its keys, and the window takes the keys.
  auto command = [this](const char* name, const QString& text, const QKeySequence& keys) {
    QAction* action = mnupopTransfer->addAction(text);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    return action;
  };
  MoveUpMnuItm =
      command("MoveUpMnuItm", QStringLiteral("Move &Up"), QKeySequence(Qt::CTRL | Qt::Key_Up));
  MoveDownMnuItm = command("MoveDownMnuItm", QStringLiteral("Move &Down"),
                           QKeySequence(Qt::CTRL | Qt::Key_Down));
  ToTopMnuItm =
      command("ToTopMnuItm", QStringLiteral("To &Top"), QKeySequence(Qt::CTRL | Qt::Key_Home));
  ToBottomMnuItm =
      command("ToBottomMnuItm", QStringLiteral("To &Bottom"), QKeySequence(Qt::CTRL | Qt::Key_End));
  mnupopTransfer->addSeparator();
  RemoveFinishedMnuItm = command("RemoveFinishedMnuItm", QStringLiteral("Remove &finished"), {});
  const std::pair<QAction*, TQueueMove> moves[] = {{MoveUpMnuItm, qmUp},
                                                   {MoveDownMnuItm, qmDown},
                                                   {ToTopMnuItm, qmTop},
                                                   {ToBottomMnuItm, qmBottom}};
  for (const auto& [action, where] : moves) {
    connect(action, &QAction::triggered, this, [this, where = where] { MoveSelected(where); });
  }
  connect(RemoveFinishedMnuItm, &QAction::triggered, this,
          &TfrmTransferMngr::RemoveFinishedMnuItmClick);
  connect(lvTransfer->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TfrmTransferMngr::UpdateCommands);
  // Items start, end and leave by themselves: what may move changes with them.
  connect(Model, &QAbstractItemModel::dataChanged, this, &TfrmTransferMngr::UpdateCommands);
  connect(Model, &QAbstractItemModel::rowsInserted, this, &TfrmTransferMngr::UpdateCommands);
  connect(Model, &QAbstractItemModel::rowsRemoved, this, &TfrmTransferMngr::UpdateCommands);
  connect(Model, &QAbstractItemModel::layoutChanged, this, &TfrmTransferMngr::UpdateCommands);
  UpdateCommands();
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
  // The rows follow the queue.
  Queue.Move(Queue.IndexOf(item), Queue.IndexOf(Model->ItemAt(targetRow)));
  lvTransfer->selectRow(Model->RowOf(*item));
}

std::vector<uint64_t> TfrmTransferMngr::SelectedIds() const {
  QModelIndexList selected = lvTransfer->selectionModel()->selectedRows();
  std::sort(selected.begin(), selected.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<uint64_t> ids;
  for (const QModelIndex& row : selected) {
    if (const TTransferItem* item = Model->ItemAt(row.row())) ids.push_back(item->Id);
  }
  return ids;
}

void TfrmTransferMngr::MoveSelected(TQueueMove where) {
  const std::vector<uint64_t> ids = SelectedIds();
  if (!Queue.MoveItems(ids, where)) return;
  // The selection went with its rows; the first moved one comes into view.
  for (const uint64_t id : ids) {
    const TTransferItem* item = Queue.FindItem(id);
    if (item && item->State == tsPending) {
      lvTransfer->scrollTo(Model->index(Model->RowOf(*item), 0));
      break;
    }
  }
  UpdateCommands();
}

void TfrmTransferMngr::RemoveFinishedMnuItmClick() {
  Queue.RemoveFinished();
  UpdateCommands();
}

void TfrmTransferMngr::UpdateCommands() {
  const std::vector<uint64_t> ids = SelectedIds();
  MoveUpMnuItm->setEnabled(Queue.CanMove(ids, qmUp));
  MoveDownMnuItm->setEnabled(Queue.CanMove(ids, qmDown));
  ToTopMnuItm->setEnabled(Queue.CanMove(ids, qmTop));
  ToBottomMnuItm->setEnabled(Queue.CanMove(ids, qmBottom));
  bool finished = false;
  for (int i = 0; i < Queue.Count() && !finished; ++i) {
    const TTransferItem& item = Queue.Item(i);
    finished = item.State == tsDone || (item.State == tsCancelled && item.Skipped);
  }
  RemoveFinishedMnuItm->setEnabled(finished);
}

void TfrmTransferMngr::Accompany(QWidget* mainWindow, QSettings* settings) {
  MainWindow = mainWindow;
  Settings = settings;
}

void TfrmTransferMngr::setVisible(bool visible) {
  if (visible && !isVisible()) Place();
  QWidget::setVisible(visible);
}

void TfrmTransferMngr::Place() {
  // Wherever it opens, that is no place the person chose.
  Placed = pos();
  // Where the person left it, while that can still be reached.
  if (Settings) {
    bool leftRead = false;
    bool topRead = false;
    const QPoint kept(Settings->value(QLatin1String(kLeftKey)).toString().toInt(&leftRead),
                      Settings->value(QLatin1String(kTopKey)).toString().toInt(&topRead));
    if (leftRead && topRead && OnScreen(QRect(kept, frameGeometry().size()), ScreenAreas())) {
      move(kept);
      Placed = pos();
      return;
    }
  }
  if (!MainWindow || !MainWindow->isVisible()) return;
  const QRect mainFrame = MainWindow->frameGeometry();
  const QScreen* screen = MainWindow->screen();
  if (!screen) return;
  // Not shown yet, this window has no frame of its own: it gets the main window's.
  const QRect mainInside = MainWindow->geometry();
  const QSize frameExtra(mainFrame.width() - mainInside.width(),
                         mainFrame.height() - mainInside.height());
  const QRect frame = CompanionFrame(mainFrame, size() + frameExtra, screen->availableGeometry());
  resize(frame.size() - frameExtra);
  move(frame.topLeft());
  Placed = pos();
}

void TfrmTransferMngr::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // A place the person chose is kept, if a person can reach it again.
  // (A window manager may shift it by its frame's few pixels: that is no move of the person's.)
  if (Settings && !event->spontaneous() && (pos() - Placed).manhattanLength() > 16 &&
      OnScreen(frameGeometry(), ScreenAreas())) {
    Settings->setValue(QLatin1String(kLeftKey), QString::number(pos().x()));
    Settings->setValue(QLatin1String(kTopKey), QString::number(pos().y()));
  }
}

void TfrmTransferMngr::closeEvent(QCloseEvent* event) {
  event->accept();
  emit Closed();
}

}  // namespace pelmar
