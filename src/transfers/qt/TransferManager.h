#pragma once
// "Transfer Manager": every item of the transfer queue with its state; a person cancels an
// item, re-submits a cancelled or failed one, changes the run order (Move Up, Move Down, To Top,
// To Bottom, or by dragging a row) and clears away what has finished. Its rows follow the queue
// by themselves; this window only reacts to the person. It opens beside the main window.

#include <QPoint>
#include <QPointer>
#include <QTableView>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "transfers/TransferQueue.h"

class QAction;
class QMenu;
class QSettings;

namespace pelmar {

class TfrmTransfer;
class TTransferItems;
class TTransferListModel;
struct TTransferItem;

// The list: rows are dragged within it only, and a drop names the row it landed on.
class TTransferList : public QTableView {
  Q_OBJECT
 public:
  explicit TTransferList(QWidget* parent) : QTableView(parent) {}

 signals:
  void RowDropped(int targetRow);

 protected:
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

class TfrmTransferMngr : public QWidget {
  Q_OBJECT
 public:
  TfrmTransferMngr(TTransferItems& queue, TfrmTransfer& progress);
  ~TfrmTransferMngr() override;

  TTransferListModel& Rows() const { return *Model; }
  // The window it opens beside, and where a place the person moved it to is kept (either may
  // be nullptr).
  void Accompany(QWidget* mainWindow, QSettings* settings);
  void setVisible(bool visible) override;
  // What a right click on `row` does before the menu opens: remember the row's item (none
  // for -1) and enable the two commands by its state.
  void RememberRow(int row);
  void CancelMnuItmClick();
  void ResubmitMnuItmClick();
  // The selected row is dropped on `targetRow`: item and row move there together.
  void DropOn(int targetRow);
  // The selected waiting items move as a block; running and ended ones stay.
  void MoveSelected(TQueueMove where);
  // The finished and skipped items leave the list.
  void RemoveFinishedMnuItmClick();
  // The Ids of the selected rows' items, in queue order.
  std::vector<uint64_t> SelectedIds() const;
  QAction* CancelMnuItm;
  QAction* ResubmitMnuItm;
  QAction* MoveUpMnuItm;
  QAction* MoveDownMnuItm;
  QAction* ToTopMnuItm;
  QAction* ToBottomMnuItm;
  QAction* RemoveFinishedMnuItm;

 signals:
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  TTransferItem* RememberedItem() const;
  // Enables the move commands by the selection, and Remove finished by the rows.
  void UpdateCommands();
  // Before it shows: where the person left it, when that is on a screen; else beside the main
  // window.
  void Place();

  TTransferItems& Queue;
  TfrmTransfer& Progress;
  TTransferListModel* Model;
  TTransferList* lvTransfer;
  QMenu* mnupopTransfer;
  uint64_t Remembered = 0;  // the Id of the item the menu is for
  QPointer<QWidget> MainWindow;
  QSettings* Settings = nullptr;
  QPoint Placed{-1000, -1000};  // where Place() put it: anywhere else the person moved it
};

}  // namespace pelmar
