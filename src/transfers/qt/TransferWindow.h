#pragma once
// "% Transferred": the running transfer and the whole batch — file, bytes, bars, elapsed and
// remaining times, the average rate — with Skip, Cancel and a details pane of the transfer
// connections' log. When the queue runs several items at once they are listed with their own
// bars, and the one chosen there is the one shown above and skipped by Skip. It listens to
// the transfer queue and sets the dates of finished downloads.

#include <QDialog>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <vector>

#include "transfers/RateWindow.h"
#include "transfers/TransferQueue.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTreeView;

namespace pelmar {
class TCopyAnimation;
class TfrmFailedTransfers;
class TRunningItemsModel;
}  // namespace pelmar

namespace pelmar {

// What the window needs of the main window.
class ITransferWindowHost {
 public:
  virtual ~ITransferWindowHost() = default;
  virtual void SetStatusLine(const QString& text) = 0;
  virtual void AppendToLog(const QString& line) = 0;
  virtual void SetTransferConnected(bool connected) = 0;  // "Disconnect Transfer Connection"
  virtual void EndOfFile() = 0;                           // a file of a batch arrived
  virtual void EndOfAll() = 0;                            // the queue ran empty
  virtual void TransferError() {}                         // a transfer connection failed
  virtual void TransferStarted() {}                       // an item of the queue started
  virtual void ShowActivity() {}  // queued transfers are running (the toolbar animation)
};

class TfrmTransfer : public QDialog, public ITransferListener {
  Q_OBJECT
 public:
  TfrmTransfer(TTransferItems& queue, ITransferWindowHost& host);
  ~TfrmTransfer() override;

  void Refresh(TTransferItem& item);
  void Skip();
  void Cancel();
  // Cancels every pending and running item and ends the batch (the program is closing: what
  // failed is not shown in a box).
  void StopAll();
  // The box a batch that ended with failures leaves; nullptr until one did.
  TfrmFailedTransfers* Failures() const { return FailedBox.get(); }
  void ToggleDetails();

  TTransferItem* CurrentItem() const { return Current; }
  QString Text(const char* labelName) const;
  void ItemStarted(TTransferItem& item) override;
  void ItemFinished(TTransferItem& item) override;
  void ItemStateChanged(TTransferItem& item) override;
  void ItemProgress(TTransferItem& item) override;
  void ItemRemoved(TTransferItem& item) override;

 signals:
  // The person asked for the transfer manager (in the box of failures).
  void ManagerWanted();

 protected:
  // Escape presses Cancel, as the window's one way out of a batch; the close box only hides.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // The batch ended; `report` its failures in the box.
  void AllDone(bool report = true);
  void StopBatch(bool report);
  void Reset();
  bool BatchOver() const;
  // The item shown and skipped: the one chosen in the list, else the first running one.
  TTransferItem* PickCurrent(const TTransferItem* leaving) const;
  void UpdateButtons();
  void AppendDetail(const QString& line);
  void FlushDetails();

  TTransferItems& Queue;
  ITransferWindowHost& Host;
  TTransferItem* Current = nullptr;
  std::vector<uint64_t> Failed;  // the items of this batch that failed, by Id
  std::unique_ptr<TfrmFailedTransfers> FailedBox;
  // "name: Skipped (partial: ...)" of the files of this batch skipped with a partial file.
  QStringList SkippedNotes;
  TRateWindow Rates;  // the batch's bytes over the last seconds
  QTimer tmrProgress;
  // The connections' log lines reach the details pane in batches: laying out each line as it
  // comes costs more than moving a small file.
  QStringList PendingDetails;
  static constexpr int kMaxDetailLines = 10000;
  QTimer DetailFlush;
  // Progress reports come many times a second from each running item; the window shows them
  // at most every tenth of a second.
  QTimer RefreshSoon;
  bool RefreshDue = false;  // progress came in while RefreshSoon ran
  QLabel* lblFileName;
  QLabel* lblCurrentBytes;
  QProgressBar* pbCurrent;
  QLabel* lblCurrentElapsed;
  QLabel* lblCurrentRemaining;
  QPushButton* btnSkip;
  TRunningItemsModel* Running;
  QTreeView* lvRunning;
  QLabel* lblFileCount;
  QLabel* lblTotalBytes;
  QProgressBar* pbTotal;
  QLabel* lblTotalElapsed;
  QLabel* lblTotalRemaining;
  QPushButton* btnCancel;
  QPushButton* btnToggleDetails;
  QPlainTextEdit* TransferLog;
  TCopyAnimation* aviTransfer;
};

}  // namespace pelmar
