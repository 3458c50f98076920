#include "ui/TreeCombo.h"

#include <QHeaderView>
#include <QPalette>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTreeView>

namespace pelmar {

TTreeCombo::TTreeCombo(QWidget* parent)
    : QComboBox(parent), Model(new QStandardItemModel(this)), Tree(new QTreeView(this)) {
  setModel(Model);
  Tree->setHeaderHidden(true);
  Tree->setItemsExpandable(true);
  Tree->setRootIsDecorated(true);
  setView(Tree);
  connect(this, qOverload<int>(&QComboBox::activated), this, [this](int) {
    QStandardItem* node = Model->itemFromIndex(Tree->currentIndex());
    if (!node) return;
    ShowAsCurrent(node);
    emit NodeChosen(node);
  });
}

QStandardItem* TTreeCombo::AddNode(QStandardItem* parent, const QString& text, const QIcon& icon) {
  auto* node = new QStandardItem(icon, text);
  node->setEditable(false);
  (parent ? parent : Model->invisibleRootItem())->appendRow(node);
  return node;
}

void TTreeCombo::SortChildren(QStandardItem* node) {
  if (node) node->sortChildren(0);
}

void TTreeCombo::SetDimmed(QStandardItem* node, bool dimmed) {
  if (!node) return;
  node->setData(dimmed, Qt::UserRole + 1);
  node->setForeground(dimmed ? palette().brush(QPalette::Disabled, QPalette::Text)
                             : palette().brush(QPalette::Active, QPalette::Text));
}

bool TTreeCombo::IsDimmed(const QStandardItem* node) const {
  return node && node->data(Qt::UserRole + 1).toBool();
}

void TTreeCombo::Expand(QStandardItem* node) {
  if (node) Tree->expand(node->index());
}

void TTreeCombo::ClearTree() {
  const QSignalBlocker blocker(this);
  Selected = nullptr;
  Model->clear();
  setCurrentIndex(-1);
}

void TTreeCombo::SelectSilently(QStandardItem* node) {
  const QSignalBlocker blocker(this);
  ShowAsCurrent(node);
}

void TTreeCombo::ShowAsCurrent(QStandardItem* node) {
  Selected = node;
  if (!node) {
    setCurrentIndex(-1);
    return;
  }
  // A combo shows one level at a time: point it at the node's level for the choice.
  const QModelIndex index = node->index();
  setRootModelIndex(index.parent());
  setCurrentIndex(index.row());
  setRootModelIndex(QModelIndex());
  Tree->setCurrentIndex(index);
}

void TTreeCombo::showPopup() {
  if (Selected) {
    Tree->expand(Selected->index().parent());
    Tree->setCurrentIndex(Selected->index());
  }
  Tree->setMinimumWidth(PopupArea ? PopupArea->width() : 0);
  QComboBox::showPopup();
}

}  // namespace pelmar
