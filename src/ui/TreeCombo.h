#pragma once
// A drop-down combo whose list is a folder tree: nodes with a text and closed/open folder
// icons, children sorted by name, a dimmed state per node, and a selection that can be set
// without telling anyone. Choosing a node in the drop-down emits NodeChosen.

#include <QComboBox>
#include <QIcon>
#include <QPointer>
#include <QStringList>

class QStandardItem;
class QStandardItemModel;
class QTreeView;

namespace pelmar {

class TTreeCombo : public QComboBox {
  Q_OBJECT
 public:
  explicit TTreeCombo(QWidget* parent = nullptr);

  // A new node under `parent` (the invisible root when null).
  QStandardItem* AddNode(QStandardItem* parent, const QString& text, const QIcon& icon);
  void SortChildren(QStandardItem* node);
  void SetDimmed(QStandardItem* node, bool dimmed);
  bool IsDimmed(const QStandardItem* node) const;
  void Expand(QStandardItem* node);
  void ClearTree();
  // Shows `node` as the combo's choice without emitting NodeChosen.
  void SelectSilently(QStandardItem* node);
  QStandardItem* SelectedNode() const { return Selected; }
  QStandardItemModel* TreeModel() const { return Model; }

  void showPopup() override;
  // The drop-down opens at least as wide as this widget (the pane's tab area), so that deep
  // paths can be read; null: as wide as the box.
  void SetPopupWidthFrom(QWidget* area) { PopupArea = area; }
  // A box a path can be typed into, completed from the folders the tree holds (each node's
  // path in Qt::UserRole); Enter reports it with PathEntered.
  void AllowTypedPaths();

 signals:
  void NodeChosen(QStandardItem* node);
  void PathEntered(const QString& path);

 private:
  void ShowAsCurrent(QStandardItem* node);
  QStringList KnownPaths() const;

  QStandardItemModel* Model;
  QTreeView* Tree;
  QStandardItem* Selected = nullptr;
  QPointer<QWidget> PopupArea;
  int NodeCount = 0;        // nodes added since the tree was last cleared
  int CompletedNodes = -1;  // NodeCount when the completion list was made
};

}  // namespace pelmar
