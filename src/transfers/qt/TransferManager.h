#pragma once
// "Transfer Manager": every item of the transfer queue with its state; a person cancels an
// item, re-submits a cancelled or failed one, and changes the run order by dragging rows. Its
// rows follow the queue by themselves; this window only reacts to the person.

#include <QTableView>
#include <QWidget>
#include <cstdint>

class QAction;
class QMenu;

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
  // What a right click on `row` does before the menu opens: remember the row's item (none
  // for -1) and enable the two commands by its state.
  void RememberRow(int row);
  void CancelMnuItmClick();
  void ResubmitMnuItmClick();
  // The selected row is dropped on `targetRow`: item and row move there together.
  void DropOn(int targetRow);
  QAction* CancelMnuItm;
  QAction* ResubmitMnuItm;

 signals:
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  TTransferItem* RememberedItem() const;

  TTransferItems& Queue;
  TfrmTransfer& Progress;
  TTransferListModel* Model;
  TTransferList* lvTransfer;
  QMenu* mnupopTransfer;
  uint64_t Remembered = 0;  // the Id of the item the menu is for
};

}  // namespace pelmar
