#include "ui/TreeCombo.h"

#include <QCompleter>
#include <QHeaderView>
#include <QLineEdit>
#include <QPalette>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QStringListModel>
#include <QTreeView>
#include <functional>

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
  ++NodeCount;
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
  NodeCount = 0;
  CompletedNodes = -1;
  setCurrentIndex(-1);
}

void TTreeCombo::SelectSilently(QStandardItem* node) {
  const QSignalBlocker blocker(this);
  ShowAsCurrent(node);
}

void TTreeCombo::AllowTypedPaths() {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  auto* paths = new QStringListModel(this);
  auto* completer = new QCompleter(paths, this);
  completer->setCaseSensitivity(Qt::CaseSensitive);
  completer->setCompletionMode(QCompleter::PopupCompletion);
  lineEdit()->setCompleter(completer);
  // The folders known now, whenever the person starts typing.
  connect(lineEdit(), &QLineEdit::textEdited, this, [this, paths] {
    if (CompletedNodes != NodeCount) {
      paths->setStringList(KnownPaths());
      CompletedNodes = NodeCount;
    }
  });
  connect(lineEdit(), &QLineEdit::returnPressed, this, [this] {
    const QString path = lineEdit()->text().trimmed();
    if (!path.isEmpty()) emit PathEntered(path);
  });
}

QStringList TTreeCombo::KnownPaths() const {
  QStringList paths;
  std::function<void(const QStandardItem*)> collect = [&](const QStandardItem* node) {
    for (int row = 0; row < node->rowCount(); ++row) {
      const QStandardItem* child = node->child(row);
      const QString path = child->data(Qt::UserRole).toString();
      if (!path.isEmpty()) paths << path;
      collect(child);
    }
  };
  collect(Model->invisibleRootItem());
  paths.sort();
  return paths;
}

void TTreeCombo::ShowAsCurrent(QStandardItem* node) {
  Selected = node;
  if (!node) {
    setCurrentIndex(-1);
    if (isEditable()) lineEdit()->clear();
    return;
  }
  // A combo shows one level at a time: point it at the node's level for the choice.
  const QModelIndex index = node->index();
  setRootModelIndex(index.parent());
  setCurrentIndex(index.row());
  setRootModelIndex(QModelIndex());
  Tree->setCurrentIndex(index);
  // A typed-into box shows the whole path, ready to be edited.
  if (isEditable()) {
    const QString path = node->data(Qt::UserRole).toString();
    lineEdit()->setText(path.isEmpty() ? node->text() : path);
  }
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
