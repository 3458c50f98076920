#include "transfers/qt/ManagerPlacement.h"

#include <algorithm>

namespace pelmar {
namespace {

// Moves `frame` inside `area` as far as it fits (its top-left corner wins).
QRect Inside(QRect frame, const QRect& area) {
  frame.setWidth(std::min(frame.width(), area.width()));
  frame.setHeight(std::min(frame.height(), area.height()));
  frame.moveLeft(std::clamp(frame.left(), area.left(), area.right() + 1 - frame.width()));
  frame.moveTop(std::clamp(frame.top(), area.top(), area.bottom() + 1 - frame.height()));
  return frame;
}

}  // namespace

QRect CompanionFrame(const QRect& mainFrame, const QSize& wanted, const QRect& available) {
  const int roomRight = available.right() - mainFrame.right();
  if (roomRight >= kCompanionMinWidth) {
    return Inside(QRect(QPoint(mainFrame.right() + 1, mainFrame.top()),
                        QSize(std::min(wanted.width(), roomRight), wanted.height())),
                  available);
  }
  const int roomBelow = available.bottom() - mainFrame.bottom();
  if (roomBelow >= kCompanionMinHeight) {
    return Inside(QRect(QPoint(mainFrame.left(), mainFrame.bottom() + 1),
                        QSize(wanted.width(), std::min(wanted.height(), roomBelow))),
                  available);
  }
  return CentredOver(mainFrame, wanted, available);
}

QRect CentredOver(const QRect& over, const QSize& size, const QRect& available) {
  QRect frame(QPoint(0, 0), size);
  frame.moveCenter(over.center());
  return Inside(frame, available);
}

bool OnScreen(const QRect& frame, const QList<QRect>& screens) {
  const QRect title(frame.topLeft(), QSize(frame.width(), 24));
  const int needed = std::min(100, frame.width());
  return std::any_of(screens.begin(), screens.end(), [&](const QRect& screen) {
    const QRect seen = title.intersected(screen);
    return seen.width() >= needed && seen.height() > 0;
  });
}

}  // namespace pelmar
