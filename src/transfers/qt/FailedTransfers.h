#pragma once
// "Failed Transfers": what a batch of the queue left failed, one line per item with why (the
// engine's or the server's words) and the partial file a download kept; Re-submit queues them
// again, Show Transfer Manager opens the manager. Modeless: the queue runs on while it is open.
// A batch that ends with failures while it is still open adds its items to the ones listed that
// have not run again since.

#include <QDialog>
#include <cstdint>
#include <vector>

class QLabel;
class QTextBrowser;
class QPushButton;

namespace pelmar {

class TTransferItems;

class TfrmFailedTransfers : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmFailedTransfers(TTransferItems& queue);

  // The items (by Id) that failed in the batch that just ended: listed, and the box shown.
  void Report(const std::vector<uint64_t>& failed);
  // Queues every listed item that is still failed again, and closes.
  void Resubmit();
  // The listed lines, as shown.
  QString Lines() const;

 signals:
  void ShowManager();

 private:
  // The listed items still failed, in the order listed.
  std::vector<uint64_t> StillFailed() const;
  void Fill();
  // Centred over the window in front, or its screen.
  void Place();

  TTransferItems& Queue;
  std::vector<uint64_t> Listed;
  QLabel* lblFailed;
  QTextBrowser* memFailed;
  QPushButton* btnResubmit;
  QPushButton* btnShowManager;
  QPushButton* btnClose;
};

}  // namespace pelmar
