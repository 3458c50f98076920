#include "transfers/qt/TransferWindow.h"

#include <algorithm>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "engine/FTPComponent.h"
#include "settings/Preferences.h"
#include "transfers/ProgressTexts.h"
#include "transfers/TransferQueue.h"
#include "transfers/qt/FailedTransfers.h"
#include "transfers/qt/RunningItemsModel.h"
#include "transfers/qt/TransferListModel.h"
#include "transfers/qt/TransferManager.h"
#include "ui/CopyAnimation.h"
#include "ui/QtText.h"

#include "platform/Tick.h"
namespace pelmar {
namespace {

QLabel* Label(QWidget* parent, const char* name, bool right) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  if (right) label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return label;
}

}  // namespace

TfrmTransfer::TfrmTransfer(TTransferItems& queue, ITransferWindowHost& host)
    : QDialog(nullptr, Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      Queue(queue),
      Host(host) {
  setObjectName("TfrmTransfer");
  // It comes and goes with the transfers; it never keeps the program running on its own.
  setAttribute(Qt::WA_QuitOnClose, false);
  setFixedWidth(361);
  auto* layout = new QVBoxLayout(this);
  aviTransfer = new TCopyAnimation(this);
  layout->addWidget(aviTransfer);
  lblFileName = Label(this, "lblFileName", false);
  layout->addWidget(lblFileName);
  lblCurrentBytes = Label(this, "lblCurrentBytes", true);
  layout->addWidget(lblCurrentBytes);
  pbCurrent = new QProgressBar(this);
  pbCurrent->setObjectName("pbCurrent");
  pbCurrent->setRange(0, 100);
  layout->addWidget(pbCurrent);
  auto* currentRow = new QHBoxLayout;
  lblCurrentElapsed = Label(this, "lblCurrentElapsed", false);
  lblCurrentRemaining = Label(this, "lblCurrentRemaining", true);
  btnSkip = new QPushButton(QStringLiteral("&Skip"), this);
  btnSkip->setObjectName("btnSkip");
  btnSkip->setDefault(true);
  currentRow->addWidget(lblCurrentElapsed);
  currentRow->addWidget(lblCurrentRemaining, 1);
  currentRow->addWidget(btnSkip);
  layout->addLayout(currentRow);
  // Told of the queue before this window is (it subscribes first), so its rows are current
  // whenever the window looks at them.
  Running = new TRunningItemsModel(Queue, this);
  lvRunning = new QTreeView(this);
  lvRunning->setObjectName("lvRunning");
  lvRunning->setAccessibleName(QStringLiteral("Running transfers"));
  lvRunning->setModel(Running);
  lvRunning->setItemDelegate(new TProgressBarDelegate(lvRunning));
  lvRunning->setRootIsDecorated(false);
  lvRunning->setUniformRowHeights(true);
  lvRunning->setSelectionMode(QAbstractItemView::SingleSelection);
  lvRunning->header()->setStretchLastSection(false);
  lvRunning->header()->setSectionResizeMode(TRunningItemsModel::colFile, QHeaderView::Stretch);
  lvRunning->header()->setSectionResizeMode(TRunningItemsModel::colProgress, QHeaderView::Fixed);
  lvRunning->header()->resizeSection(TRunningItemsModel::colProgress, 130);
  // Four rows and the header: the common counts show without scrolling.
  lvRunning->setFixedHeight(lvRunning->header()->sizeHint().height() +
                            4 * TProgressBarDelegate::RowHeight(lvRunning->fontMetrics()) +
                            2 * lvRunning->frameWidth());
  lvRunning->hide();
  layout->addWidget(lvRunning);
  connect(lvRunning->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& row) {
            if (TTransferItem* chosen = Running->ItemAt(row.row())) {
              Current = chosen;
              Refresh(*Current);
              UpdateButtons();
            }
          });
  auto* totalTop = new QHBoxLayout;
  lblFileCount = Label(this, "lblFileCount", false);
  lblTotalBytes = Label(this, "lblTotalBytes", true);
  totalTop->addWidget(lblFileCount);
  totalTop->addWidget(lblTotalBytes, 1);
  layout->addLayout(totalTop);
  pbTotal = new QProgressBar(this);
  pbTotal->setObjectName("pbTotal");
  pbTotal->setRange(0, 100);
  layout->addWidget(pbTotal);
  auto* totalRow = new QHBoxLayout;
  lblTotalElapsed = Label(this, "lblTotalElapsed", false);
  lblTotalRemaining = Label(this, "lblTotalRemaining", true);
  btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
  btnCancel->setObjectName("btnCancel");
  totalRow->addWidget(lblTotalElapsed);
  totalRow->addWidget(lblTotalRemaining, 1);
  totalRow->addWidget(btnCancel);
  layout->addLayout(totalRow);
  btnToggleDetails = new QPushButton(QStringLiteral("&Details >>"), this);
  btnToggleDetails->setObjectName("btnToggleDetails");
  layout->addWidget(btnToggleDetails, 0, Qt::AlignRight);
  TransferLog = new QPlainTextEdit(this);
  TransferLog->setObjectName("TransferLog");
  TransferLog->setReadOnly(true);
  TransferLog->setFixedHeight(129);
  TransferLog->setMaximumBlockCount(kMaxDetailLines);
  DetailFlush.setSingleShot(true);
  DetailFlush.setInterval(250);
  connect(&DetailFlush, &QTimer::timeout, this, [this] { FlushDetails(); });
  TransferLog->hide();
  layout->addWidget(TransferLog);
  connect(btnSkip, &QPushButton::clicked, this, &TfrmTransfer::Skip);
  connect(btnCancel, &QPushButton::clicked, this, &TfrmTransfer::Cancel);
  connect(btnToggleDetails, &QPushButton::clicked, this, &TfrmTransfer::ToggleDetails);
  tmrProgress.setInterval(1000);
  connect(&tmrProgress, &QTimer::timeout, this, [this] {
    if (Current) Refresh(*Current);
  });
  tmrProgress.start();
  RefreshSoon.setSingleShot(true);
  RefreshSoon.setInterval(100);
  connect(&RefreshSoon, &QTimer::timeout, this, [this] {
    if (!RefreshDue || !Current) return;
    RefreshDue = false;
    Refresh(*Current);
    RefreshSoon.start();
  });

  Queue.AddListener(this);
  Queue.OnConnected = [this](TFTPComponent&) { Host.SetTransferConnected(true); };
  Queue.OnDisconnected = [this](TFTPComponent&) { Host.SetTransferConnected(false); };
  Queue.OnError = [this](TFTPComponent&, int, const std::string& text) {
    Host.AppendToLog(QStringLiteral("Transfer Thread Error: ") + Q(text));
    Host.TransferError();
    AppendDetail(Q(text));
  };
  Queue.OnLog = [this](TFTPComponent&, const std::string& text) { AppendDetail(Q(text)); };
  Reset();
}

TfrmTransfer::~TfrmTransfer() {
  Queue.RemoveListener(this);
  Queue.OnConnected = nullptr;
  Queue.OnDisconnected = nullptr;
  Queue.OnError = nullptr;
  Queue.OnLog = nullptr;
}

void TfrmTransfer::ItemStateChanged(TTransferItem& item) {
  if (item.State == tsActive) return;
  if (Current == &item) {
    Current = PickCurrent(&item);
    UpdateButtons();
  }
  if (item.State != tsFailed) return;
  // Once per item: one re-submitted while the batch ran and failing again is one failure.
  if (std::find(Failed.begin(), Failed.end(), item.Id) == Failed.end()) Failed.push_back(item.Id);
  // A failed item reports no end of its own: when it was the last one, the batch ends here.
  if (BatchOver()) AllDone();
}

bool TfrmTransfer::BatchOver() const {
  return Queue.CountInState(tsPending) == 0 && Queue.CountInState(tsActive) == 0;
}

TTransferItem* TfrmTransfer::PickCurrent(const TTransferItem* leaving) const {
  const QModelIndex chosen = lvRunning->selectionModel()->currentIndex();
  TTransferItem* item = Running->ItemAt(chosen.row());
  if (item && item != leaving && item->State == tsActive) return item;
  for (int row = 0; row < Running->rowCount(); ++row) {
    item = Running->ItemAt(row);
    if (item && item != leaving && item->State == tsActive) return item;
  }
  return nullptr;
}

void TfrmTransfer::UpdateButtons() {
  auto loggedOn = [](const TTransferItem* item) {
    return item && item->State == tsActive && item->Connection && item->Connection->LoggedIn;
  };
  btnSkip->setEnabled(loggedOn(Current));
  bool any = false;
  for (int row = 0; row < Running->rowCount() && !any; ++row) any = loggedOn(Running->ItemAt(row));
  btnCancel->setEnabled(any || loggedOn(Current));
}

void TfrmTransfer::ItemProgress(TTransferItem& item) {
  if (!Current || Current->State != tsActive) Current = &item;
  // The first report shows at once; the ones after it within the tenth of a second, once.
  if (RefreshSoon.isActive()) {
    RefreshDue = true;
    return;
  }
  Refresh(*Current);
  RefreshSoon.start();
}

void TfrmTransfer::Refresh(TTransferItem& item) {
  Host.ShowActivity();
  const int64_t pending = Queue.CountInState(tsPending);
  // Every figure of the file from the same counts: what is there (a resumed start included),
  // its share of the file, the rate of what moved this session, the time left at that rate.
  const bool running = item.State == tsActive;
  const TProgressFigures file = ProgressFigures(item.RestartOffset, item.BytesDone, item.Size,
                                                running ? item.ElapsedTicks() : 0);
  lblFileName->setText(Q(item.FileName));
  lblCurrentBytes->setText(Q(BytesCopiedText(file.Done, item.Size)));
  pbCurrent->setValue(file.Percent);
  lblCurrentElapsed->setText(Q(TimeText(item.ElapsedTicks() / 1000)) + QStringLiteral(" elapsed"));
  Rates.Add(GetTickCount(), Queue.BytesDone);
  const bool stalled = Rates.Stalled();
  lblCurrentRemaining->setText(stalled ? QStringLiteral("stalled")
                                       : Q(RemainingText(file.Remaining)));
  // The batch's figures are its items' summed: its rate is the running items' rates together,
  // so that with one file running both times left come from the same rate.
  int64_t rate = -1;
  for (int row = 0; row < Running->rowCount(); ++row) {
    const TTransferItem* other = Running->ItemAt(row);
    if (!other || other->State != tsActive) continue;
    const int64_t itemRate = other == &item
                                 ? file.Rate
                                 : ProgressFigures(other->RestartOffset, other->BytesDone,
                                                   other->Size, other->ElapsedTicks())
                                       .Rate;
    if (itemRate >= 0) rate = std::max<int64_t>(rate, 0) + itemRate;
  }
  if (rate < 0 && running && Running->RowOf(item) < 0) rate = file.Rate;
  const int64_t there = Queue.BytesResumed + Queue.BytesDone;
  const int64_t remaining = rate > 0 ? std::max<int64_t>(Queue.BytesLeft, 0) / rate : -1;
  const int64_t total = Queue.ElapsedTicks() / 1000;
  // The running ones count as begun: with one at a time this is "File k of n" of before.
  const int64_t active = std::max(Queue.CountInState(tsActive), 1);
  lblFileCount->setText(QString(QStringLiteral("File %1 of %2"))
                            .arg(Queue.FilesDone + active)
                            .arg(Queue.FilesDone + pending + active));
  lblTotalBytes->setText(Q(BytesCopiedText(there, there + Queue.BytesLeft)));
  const int percent = Queue.PercentDone();
  pbTotal->setValue(percent);
  setWindowTitle(QString(QStringLiteral("%1% Transferred - Pelmar")).arg(percent));
  lblTotalElapsed->setText(Q(TimeText(total)) + QStringLiteral(" elapsed"));
  const QString left = stalled ? QStringLiteral("stalled") : Q(RemainingText(remaining));
  lblTotalRemaining->setText(left);
  const bool moving = running && item.Connection && item.Connection->LoggedIn;
  if (moving) {
    QString status = QString(QStringLiteral("%1% Transferred (file %2/%3)"))
                         .arg(percent)
                         .arg(Queue.FilesDone + active)
                         .arg(Queue.FilesDone + pending + active);
    // A session too short to time has no rate yet, rather than a made-up one.
    if (rate >= 0) {
      status += (left.isEmpty() ? QString() : QStringLiteral(", ") + left) +
                QStringLiteral(" at ") + Q(RateText(rate)) + QStringLiteral("/sec");
    }
    Host.SetStatusLine(status);
  }
}

void TfrmTransfer::ItemStarted(TTransferItem& item) {
  if (!Current || Current->State != tsActive) Current = &item;
  AppendDetail(QString());
  Host.TransferStarted();
  const bool several = Queue.Simultaneous() > 1;
  if (lvRunning->isHidden() == several) {
    lvRunning->setVisible(several);
    adjustSize();
  }
  UpdateButtons();
}

void TfrmTransfer::ItemFinished(TTransferItem& item) {
  // The listed date, exactly, and without opening the file.
  if (Preferences().PreserveTimeStamp && !item.Upload && !item.IsFolder) {
    SetFileDate(item.DestFolder + item.FileName, item.FileDate);
  }
  // The item is still running while it is told of its end.
  if (Queue.CountInState(tsPending) == 0 && Queue.CountInState(tsActive) <= 1) {
    AllDone();
    return;
  }
  Host.EndOfFile();
}

void TfrmTransfer::AllDone(bool report) {
  Current = nullptr;
  // What the batch left undone: failures, and the files skipped half-way, named.
  QStringList summary;
  if (Failed.size() == 1) summary << QStringLiteral("1 transfer failed");
  if (Failed.size() > 1)
    summary << QString(QStringLiteral("%1 transfers failed")).arg(Failed.size());
  summary << SkippedNotes;
  Host.SetStatusLine(summary.join(QStringLiteral("; ")));
  const std::vector<uint64_t> failed = std::move(Failed);
  Failed.clear();
  SkippedNotes.clear();
  Host.EndOfAll();
  hide();
  Reset();
  // The failures stay in view, with why, once the progress window is gone.
  if (report && !failed.empty()) {
    if (!FailedBox) {
      FailedBox = std::make_unique<TfrmFailedTransfers>(Queue);
      connect(FailedBox.get(), &TfrmFailedTransfers::ShowManager, this,
              &TfrmTransfer::ManagerWanted);
    }
    FailedBox->Report(failed);
  }
}

void TfrmTransfer::ItemRemoved(TTransferItem& item) {
  if (Current == &item) Current = nullptr;
}

void TfrmTransfer::Reset() {
  Rates.Clear();
  setWindowTitle(QString());
  lblFileName->clear();
  lblCurrentBytes->setText(Q(BytesCopiedText(0, 0)));
  pbCurrent->setValue(0);
  lblCurrentElapsed->clear();
  lblCurrentRemaining->clear();
  lblFileCount->clear();
  lblTotalBytes->clear();
  pbTotal->setValue(0);
  lblTotalElapsed->clear();
  lblTotalRemaining->clear();
}

void TfrmTransfer::Skip() {
  // The file shown, as long as it runs; else the one running now. (A stale choice made the
  // first press do nothing while the file went on.)
  TTransferItem* item = Current && Current->State == tsActive ? Current : PickCurrent(nullptr);
  if (!item) return;
  btnSkip->setEnabled(false);
  Host.SetStatusLine(QStringLiteral("Cancelling file..."));
  Queue.Skip(*item);
  if (item->PartialBytes >= 0) {
    const QString note = Q(item->FileName + ": " + SkippedText(item->PartialBytes, item->Size));
    Host.AppendToLog(note);
    SkippedNotes << note;
  }
  if (Current) {
    Refresh(*Current);
  } else {
    // Until the next file has logged on nothing else runs: the skipped one says so rather
    // than standing still as if it went on.
    lblCurrentBytes->setText(Q(SkippedText(item->PartialBytes, item->Size)));
    lblCurrentElapsed->clear();
    lblCurrentRemaining->clear();
  }
  // The aborted transfer's connection is let go with its reports: with nothing left to run
  // no report would ever close the batch.
  if (BatchOver()) AllDone();
}

void TfrmTransfer::Cancel() {
  if (!Current) return;
  StopBatch(true);
}

void TfrmTransfer::StopAll() {
  StopBatch(false);
}

void TfrmTransfer::StopBatch(bool report) {
  btnSkip->setEnabled(false);
  btnCancel->setEnabled(false);
  Host.SetStatusLine(QStringLiteral("Cancelling all pending files..."));
  Queue.CancelAll();
  AllDone(report);
}

void TfrmTransfer::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    if (btnCancel->isEnabled()) btnCancel->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TfrmTransfer::ToggleDetails() {
  const bool open = !TransferLog->isVisible();
  FlushDetails();
  TransferLog->setVisible(open);
  btnToggleDetails->setText(open ? QStringLiteral("<< &Details") : QStringLiteral("&Details >>"));
  adjustSize();
}

void TfrmTransfer::AppendDetail(const QString& line) {
  PendingDetails << LogLine(line);
  // While the pane is closed only its last lines are kept: laying out thousands of lines
  // nobody looks at stalled the window for a tenth of a second.
  if (PendingDetails.size() > kMaxDetailLines + kMaxDetailLines / 5) {
    PendingDetails.remove(0, PendingDetails.size() - kMaxDetailLines);
  }
  if (TransferLog->isVisible() && !DetailFlush.isActive()) DetailFlush.start();
}

void TfrmTransfer::FlushDetails() {
  DetailFlush.stop();
  if (PendingDetails.isEmpty()) return;
  TransferLog->appendPlainText(PendingDetails.join(u'\n'));
  PendingDetails.clear();
}

QString TfrmTransfer::Text(const char* labelName) const {
  const auto* label = findChild<QLabel*>(QLatin1String(labelName));
  return label ? label->text() : QString();
}

}  // namespace pelmar
