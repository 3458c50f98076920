#pragma once
// The cells of the icon and list styles. A list of 100,000 names is laid out with one size for
// every item (the first item's otherwise, which cut longer names after a few letters): in the
// List style as wide as the folder's longest name (up to the pane's width), in the Large Icons
// style a large icon over a name wrapped on two lines.

#include <QSize>
#include <QStyledItemDelegate>

class QAbstractItemModel;
class QModelIndex;

namespace pelmar {

class TIconCells : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  // The one size of every item; an invalid size leaves the style's own.
  void SetCell(QSize cell) { Cell = cell; }
  QSize CellSize() const { return Cell; }
  // Icons drawn at `size` even where the icon has only smaller pictures.
  void SetIconSize(QSize size) { IconSize = size; }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

 private:
  QSize Cell;
  QSize IconSize;
};

// The width in pixels of the widest name among `root`'s rows of `model` (column 0), as `font`
// draws it. Only the longest names by characters are measured, so a large folder costs one pass.
int WidestName(const QAbstractItemModel& model, const QModelIndex& root, const QFont& font);

}  // namespace pelmar
