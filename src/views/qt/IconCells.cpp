#include "views/qt/IconCells.h"

#include <QAbstractItemModel>
#include <QFontMetrics>
#include <algorithm>
#include <vector>

namespace pelmar {

QSize TIconCells::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  return Cell.isValid() ? Cell : QStyledItemDelegate::sizeHint(option, index);
}

void TIconCells::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  if (!IconSize.isValid() || option->icon.isNull()) return;
  option->decorationSize = IconSize;
  // A theme without large pictures: the largest one, scaled, rather than a small one in a
  // large cell.
  if (option->icon.actualSize(IconSize).width() < IconSize.width()) {
    const QPixmap largest = option->icon.pixmap(option->icon.actualSize(QSize(256, 256)));
    if (!largest.isNull()) {
      option->icon = QIcon(largest.scaled(IconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
  }
}

int WidestName(const QAbstractItemModel& model, const QModelIndex& root, const QFont& font) {
  constexpr size_t kMeasured = 32;
  const int rows = model.rowCount(root);
  std::vector<std::pair<qsizetype, int>> longest;  // (characters, row)
  longest.reserve(kMeasured + 1);
  for (int row = 0; row < rows; ++row) {
    const qsizetype length = model.index(row, 0, root).data(Qt::DisplayRole).toString().size();
    if (longest.size() == kMeasured && length <= longest.back().first) continue;
    longest.emplace_back(length, row);
    std::sort(longest.begin(), longest.end(), std::greater<>());
    if (longest.size() > kMeasured) longest.pop_back();
  }
  // Wide letters can make a shorter name the wider one: every candidate is measured.
  const QFontMetrics metrics(font);
  int widest = 0;
  for (const auto& [length, row] : longest) {
    const QString name = model.index(row, 0, root).data(Qt::DisplayRole).toString();
    widest = std::max(widest, metrics.horizontalAdvance(name));
  }
  return widest;
}

}  // namespace pelmar
