#include "ui/ElidedLabel.h"

#include <QPainter>
#include <QStyle>

namespace pelmar {

QSize TElidedLabel::minimumSizeHint() const {
  // Room for an ellipsis, not for the whole text: the layout may give less than the text needs.
  const QSize whole = QLabel::minimumSizeHint();
  return {std::min(whole.width(), fontMetrics().horizontalAdvance(QStringLiteral("...")) + 4),
          whole.height()};
}

void TElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
  style()->drawItemText(&painter, room, static_cast<int>(alignment()), palette(), isEnabled(),
                        shown, foregroundRole());
}

}  // namespace pelmar
