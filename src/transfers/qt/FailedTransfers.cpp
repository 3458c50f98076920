#include "transfers/qt/FailedTransfers.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <algorithm>

#include "transfers/TransferQueue.h"
#include "transfers/qt/ManagerPlacement.h"
#include "ui/QtText.h"

namespace pelmar {

TfrmFailedTransfers::TfrmFailedTransfers(TTransferItems& queue)
    : QDialog(nullptr, Qt::Window | Qt::WindowCloseButtonHint), Queue(queue) {
  setObjectName("TfrmFailedTransfers");
  setAttribute(Qt::WA_QuitOnClose, false);
  setModal(false);
  setWindowTitle(QStringLiteral("Failed Transfers"));
  auto* layout = new QVBoxLayout(this);
  lblFailed = new QLabel(this);
  lblFailed->setObjectName("lblFailed");
  layout->addWidget(lblFailed);
  // One paragraph per item, its name in bold: a long reason wraps without looking like the
  // next item. The text can be selected and copied.
  memFailed = new QTextBrowser(this);
  memFailed->setObjectName("memFailed");
  memFailed->setAccessibleName(QStringLiteral("Failed transfers"));
  memFailed->setOpenLinks(false);
  layout->addWidget(memFailed, 1);
  auto* buttons = new QHBoxLayout;
  btnResubmit = new QPushButton(QStringLiteral("&Re-submit"), this);
  btnResubmit->setObjectName("btnResubmit");
  btnShowManager = new QPushButton(QStringLiteral("Show &Transfer Manager"), this);
  btnShowManager->setObjectName("btnShowManager");
  btnClose = new QPushButton(QStringLiteral("Close"), this);
  btnClose->setObjectName("btnClose");
  btnClose->setDefault(true);
  buttons->addWidget(btnResubmit);
  buttons->addWidget(btnShowManager);
  buttons->addStretch(1);
  buttons->addWidget(btnClose);
  layout->addLayout(buttons);
  connect(btnResubmit, &QPushButton::clicked, this, &TfrmFailedTransfers::Resubmit);
  connect(btnShowManager, &QPushButton::clicked, this, &TfrmFailedTransfers::ShowManager);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
  resize(560, 300);
}

std::vector<uint64_t> TfrmFailedTransfers::StillFailed() const {
  std::vector<uint64_t> failed;
  for (const uint64_t id : Listed) {
    const TTransferItem* item = Queue.FindItem(id);
    if (item && item->State == tsFailed) failed.push_back(id);
  }
  return failed;
}

void TfrmFailedTransfers::Report(const std::vector<uint64_t>& failed) {
  // What an earlier batch left, unless it has run again since, and this batch's.
  if (isVisible()) {
    Listed = StillFailed();
  } else {
    Listed.clear();
  }
  for (const uint64_t id : failed) {
    if (std::find(Listed.begin(), Listed.end(), id) == Listed.end()) Listed.push_back(id);
  }
  Fill();
  if (!isVisible()) {
    Place();
    show();
  }
  raise();
}

void TfrmFailedTransfers::Fill() {
  const std::vector<uint64_t> failed = StillFailed();
  lblFailed->setText(failed.size() == 1
                         ? QStringLiteral("1 transfer failed:")
                         : QStringLiteral("%1 transfers failed:").arg(failed.size()));
  QString html;
  for (const uint64_t id : failed) {
    const TTransferItem& item = *Queue.FindItem(id);
    const std::string why = item.FailureLine();
    html += QStringLiteral("<p style=\"margin-top: 0; margin-bottom: 4px\"><b>%1</b>: %2</p>")
                .arg(Q(item.FileName).toHtmlEscaped(),
                     Q(why.empty() ? item.StatusText() : why).toHtmlEscaped());
  }
  memFailed->setHtml(html);
  btnResubmit->setEnabled(!failed.empty());
}

QString TfrmFailedTransfers::Lines() const {
  return memFailed->toPlainText();
}

void TfrmFailedTransfers::Resubmit() {
  for (const uint64_t id : StillFailed()) {
    if (TTransferItem* item = Queue.FindItem(id)) Queue.Resubmit(*item);
  }
  close();
}

void TfrmFailedTransfers::Place() {
  // Over the window the person works in, else in the middle of the screen; all of it on it.
  const QWidget* front = QApplication::activeWindow();
  const bool overFront = front && front != this && front->isVisible();
  const QScreen* screen = overFront ? front->screen() : this->screen();
  if (!screen) return;
  const QRect over = overFront ? front->frameGeometry() : screen->availableGeometry();
  // Not shown yet, the box has no frame of its own: the window manager's frame of the window
  // in front stands in for it, so that its title and buttons stay on the screen.
  const QSize frameExtra =
      overFront ? front->frameGeometry().size() - front->geometry().size() : QSize(0, 0);
  move(CentredOver(over, sizeHint().expandedTo(size()) + frameExtra, screen->availableGeometry())
           .topLeft());
}

}  // namespace pelmar
