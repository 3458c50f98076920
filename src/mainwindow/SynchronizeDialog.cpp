#include "mainwindow/SynchronizeDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "transfers/SyncRun.h"
#include "ui/QtText.h"

namespace pelmar {

void TSyncPlanModel::SetPlan(TSyncPlan plan) {
  beginResetModel();
  Steps = std::move(plan);
  endResetModel();
}

int TSyncPlanModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(Steps.Steps.size());
}

int TSyncPlanModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 3;
}

QVariant TSyncPlanModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return {};
  const TSyncStep& step = Steps.Steps[static_cast<size_t>(index.row())];
  switch (index.column()) {
    case 0:
      if (step.Kind == TSyncKind::Copy && Steps.Both) {
        return step.Back ? QStringLiteral("Download") : QStringLiteral("Upload");
      }
      return step.Kind == TSyncKind::Copy     ? QStringLiteral("Copy")
             : step.Kind == TSyncKind::Delete ? QStringLiteral("Delete")
                                              : QStringLiteral("Left alone");
    case 1:
      return Q(step.Folder + step.Name + (step.IsFolder ? "/" : ""));
    default:
      return Q(step.Why);
  }
}

QVariant TSyncPlanModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kTitles[] = {"Action", "Name", "Why"};
  return QString::fromLatin1(kTitles[section]);
}

TfrmSynchronize::TfrmSynchronize(QWidget* parent, const QString& localFolder,
                                 const QString& serverFolder, TMakePlan makePlan)
    : QDialog(parent), MakePlan(std::move(makePlan)), Model(new TSyncPlanModel(this)) {
  setObjectName("frmSynchronize");
  setWindowTitle(QStringLiteral("Synchronize"));
  auto* layout = new QVBoxLayout(this);
  rbUpload = new QRadioButton(
      QStringLiteral("&Local to server: %1 to %2").arg(localFolder, serverFolder), this);
  rbUpload->setObjectName("rbUpload");
  rbDownload = new QRadioButton(
      QStringLiteral("&Server to local: %1 to %2").arg(serverFolder, localFolder), this);
  rbDownload->setObjectName("rbDownload");
  rbDownload->setChecked(true);
  rbBoth = new QRadioButton(QStringLiteral("&Both ways: the newer file wins"), this);
  rbBoth->setObjectName("rbBoth");
  layout->addWidget(rbUpload);
  layout->addWidget(rbDownload);
  layout->addWidget(rbBoth);
  cbDeleteExtra = new QCheckBox(QStringLiteral("&Delete what the source no longer has"), this);
  cbDeleteExtra->setObjectName("cbDeleteExtra");
  // A source that suddenly looks empty must not empty the destination unnoticed.
  auto* limitRow = new QHBoxLayout;
  limitRow->addWidget(cbDeleteExtra);
  auto* limitLabel = new QLabel(QStringLiteral("&at most:"), this);
  sbMaxDelete = new QSpinBox(this);
  sbMaxDelete->setObjectName("sbMaxDelete");
  sbMaxDelete->setRange(-1, 1000000000);
  sbMaxDelete->setSpecialValueText(QStringLiteral("no limit"));
  sbMaxDelete->setValue(-1);
  limitLabel->setBuddy(sbMaxDelete);
  limitRow->addWidget(limitLabel);
  limitRow->addWidget(sbMaxDelete);
  limitRow->addStretch(1);
  layout->addLayout(limitRow);
  // Text mode converts line ends, so sizes and bytes change on the way.
  cbTextMode = new QCheckBox(QStringLiteral("Send text files in &text mode"), this);
  cbTextMode->setObjectName("cbTextMode");
  layout->addWidget(cbTextMode);
  lvPlan = new QTableView(this);
  lvPlan->setObjectName("lvPlan");
  lvPlan->setModel(Model);
  lvPlan->setSelectionMode(QAbstractItemView::NoSelection);
  lvPlan->verticalHeader()->hide();
  lvPlan->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  lvPlan->horizontalHeader()->setStretchLastSection(true);
  lvPlan->setAccessibleName(QStringLiteral("What synchronizing does"));
  layout->addWidget(lvPlan, 1);
  lblSummary = new QLabel(this);
  lblSummary->setObjectName("lblSummary");
  layout->addWidget(lblSummary);
  auto* buttons = new QDialogButtonBox(this);
  btnCompare = buttons->addButton(QStringLiteral("&Compare"), QDialogButtonBox::ActionRole);
  btnCompare->setObjectName("btnCompare");
  btnOK = buttons->addButton(QStringLiteral("S&ynchronize"), QDialogButtonBox::AcceptRole);
  btnOK->setObjectName("btnOK");
  QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  cancel->setObjectName("btnCancel");
  layout->addWidget(buttons);
  connect(btnCompare, &QPushButton::clicked, this, &TfrmSynchronize::Compare);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  // Another direction needs another comparison before anything can be copied.
  // Both ways deletes nothing: a file on one side only is copied to the other.
  connect(rbBoth, &QRadioButton::toggled, this, [this](bool on) {
    cbDeleteExtra->setEnabled(!on);
    if (on) cbDeleteExtra->setChecked(false);
  });
  connect(sbMaxDelete, &QSpinBox::valueChanged, this, [this] {
    if (!Plan().Steps.empty()) ShowSummary();
  });
  std::vector<QAbstractButton*> choices{rbUpload, rbDownload, rbBoth, cbDeleteExtra, cbTextMode};
  for (QAbstractButton* direction : choices) {
    connect(direction, &QAbstractButton::toggled, this, [this] {
      Model->SetPlan({});
      btnOK->setEnabled(false);
      lblSummary->setText(QStringLiteral("Press Compare to see what would be copied."));
    });
  }
  btnOK->setEnabled(false);
  lblSummary->setText(QStringLiteral("Press Compare to see what would be copied."));
  resize(640, 420);
}

bool TfrmSynchronize::Upload() const {
  return rbUpload->isChecked() || rbBoth->isChecked();
}

bool TfrmSynchronize::BothWays() const {
  return rbBoth->isChecked();
}

bool TfrmSynchronize::TextMode() const {
  return cbTextMode->isChecked();
}

int64_t TfrmSynchronize::MaxDelete() const {
  return sbMaxDelete->value();
}

void TfrmSynchronize::SetMaxDelete(int64_t limit) {
  sbMaxDelete->setValue(static_cast<int>(std::clamp<int64_t>(limit, -1, sbMaxDelete->maximum())));
}

void TfrmSynchronize::Compare() {
  Model->SetPlan(MakePlan(Upload(), BothWays(), cbDeleteExtra->isChecked(), TextMode()));
  lvPlan->resizeColumnToContents(0);
  lvPlan->resizeColumnToContents(1);
  ShowSummary();
}

void TfrmSynchronize::ShowSummary() {
  int copies = 0;
  int alone = 0;
  for (const TSyncStep& step : Plan().Steps) {
    copies += step.Kind == TSyncKind::Copy && !step.IsFolder;
    alone += step.Kind == TSyncKind::Conflict;
  }
  // What the deletions remove, folders' contents counted, before anything is done.
  const TDeletionChoice deletions = ChooseDeletions(Plan(), {}, MaxDelete());
  const int64_t deletes = deletions.Entries;
  QString text = copies == 0 && deletes == 0
                     ? QStringLiteral("Nothing to copy: the folders are alike.")
                 : copies == 0 ? QStringLiteral("Nothing to copy.")
                 : copies == 1 ? QStringLiteral("1 file to copy.")
                               : QStringLiteral("%1 files to copy.").arg(copies);
  if (deletions.OverLimit) {
    text += QStringLiteral(" %1 to delete, more than %2: nothing will be deleted.")
                .arg(deletes)
                .arg(MaxDelete());
  } else if (deletes > 0) {
    text += QStringLiteral(" %1 to delete.").arg(deletes);
  }
  if (alone > 0) text += QStringLiteral(" %1 left alone.").arg(alone);
  if (!Plan().Unlisted.empty()) {
    text += QStringLiteral(" %1 folders could not be listed.").arg(Plan().Unlisted.size());
  }
  lblSummary->setText(text);
  btnOK->setEnabled(copies > 0 || (deletes > 0 && !deletions.OverLimit));
}

}  // namespace pelmar
