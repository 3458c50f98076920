#pragma once
// Where a companion window (the transfer manager) opens: beside the main window when the
// screen has room, else below it, else centred over it; and whether a place the person moved
// it to is still on a screen.

#include <QList>
#include <QRect>

namespace pelmar {

// The smallest companion worth opening beside the main window rather than over it.
inline constexpr int kCompanionMinWidth = 480;
inline constexpr int kCompanionMinHeight = 180;

// The frame of the companion: `wanted` is its frame size, `mainFrame` the main window's frame,
// `available` the screen's area for windows. To the right of the main window, top edges level,
// when at least the smallest width fits there (narrowed to the room); else below it, left edges
// level (lowered to the room); else centred over it. Always inside `available`.
QRect CompanionFrame(const QRect& mainFrame, const QSize& wanted, const QRect& available);

// A frame of `size` centred over `over`, moved inside `available` as far as it fits.
QRect CentredOver(const QRect& over, const QSize& size, const QRect& available);

// Whether a frame at `frame` can be reached: its title strip lies on one of `screens` (their
// areas for windows) for at least 100 pixels (or its whole width).
bool OnScreen(const QRect& frame, const QList<QRect>& screens);

}  // namespace pelmar
