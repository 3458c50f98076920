#pragma once
// "Synchronize": the shown local folder and the shown server folder made alike, one way. The
// person picks the direction, sees what would be copied (and what is left alone) in a preview,
// and OK hands the copies to the transfer queue.

#include <QAbstractTableModel>
#include <QDialog>
#include <functional>

#include "transfers/SyncPlan.h"

class QCheckBox;
class QLabel;
class QSpinBox;
class QPushButton;
class QRadioButton;
class QTableView;

namespace pelmar {

// The preview's rows: one per step, in the plan's order.
class TSyncPlanModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  using QAbstractTableModel::QAbstractTableModel;
  void SetPlan(TSyncPlan plan);
  const TSyncPlan& Plan() const { return Steps; }
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  TSyncPlan Steps;
};

class TfrmSynchronize : public QDialog {
  Q_OBJECT
 public:
  // `makePlan(upload, bothWays, deleteExtra, textMode)` compares the two folders for that
  // direction.
  using TMakePlan =
      std::function<TSyncPlan(bool upload, bool bothWays, bool deleteExtra, bool textMode)>;
  TfrmSynchronize(QWidget* parent, const QString& localFolder, const QString& serverFolder,
                  TMakePlan makePlan);
  // Local to server, or both ways (then steps marked Back go from the server).
  bool Upload() const;
  bool BothWays() const;
  // Files the preferences send in text mode go so (else everything goes in binary).
  bool TextMode() const;
  // At most this many entries may be deleted (folders' contents counted); -1 for no limit.
  int64_t MaxDelete() const;
  void SetMaxDelete(int64_t limit);
  const TSyncPlan& Plan() const { return Model->Plan(); }
  // Compares again for the chosen direction and shows the result.
  void Compare();

  QRadioButton* rbUpload;
  QRadioButton* rbDownload;
  QRadioButton* rbBoth;
  QCheckBox* cbDeleteExtra;
  QSpinBox* sbMaxDelete;
  QCheckBox* cbTextMode;
  QPushButton* btnCompare;
  QPushButton* btnOK;
  QTableView* lvPlan;
  QLabel* lblSummary;

 private:
  // The summary below the preview and whether OK may go ahead.
  void ShowSummary();
  TMakePlan MakePlan;
  TSyncPlanModel* Model;
};

}  // namespace pelmar
