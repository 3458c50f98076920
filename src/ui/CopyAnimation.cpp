#include "ui/CopyAnimation.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace pelmar {
namespace {

void PaintFolder(QPainter& painter, const QRectF& box, const QColor& colour) {
  QPainterPath path;
  const double tab = box.width() * 0.4;
  path.moveTo(box.left(), box.top() + 4);
  path.lineTo(box.left() + 3, box.top());
  path.lineTo(box.left() + tab, box.top());
  path.lineTo(box.left() + tab + 3, box.top() + 4);
  path.lineTo(box.right(), box.top() + 4);
  path.lineTo(box.right(), box.bottom());
  path.lineTo(box.left(), box.bottom());
  path.closeSubpath();
  painter.setPen(colour.darker(160));
  painter.setBrush(colour);
  painter.drawPath(path);
}

}  // namespace

TCopyAnimation::TCopyAnimation(QWidget* parent) : QWidget(parent) {
  setObjectName("aviTransfer");
  setMinimumHeight(50);
  Timer.setInterval(60);
  connect(&Timer, &QTimer::timeout, this, [this] {
    Frame = (Frame + 1) % kFrames;
    update();
  });
}

void TCopyAnimation::showEvent(QShowEvent*) {
  Timer.start();
}

void TCopyAnimation::hideEvent(QHideEvent*) {
  Timer.stop();
}

void TCopyAnimation::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const double h = height();
  const QColor folder = palette().color(QPalette::Highlight).lighter(150);
  const QRectF from(8, h * 0.45, 40, h * 0.45);
  const QRectF to(width() - 48.0, h * 0.45, 40, h * 0.45);
  PaintFolder(painter, from, folder);
  PaintFolder(painter, to, folder);
  // The sheet climbs out of one folder and drops into the other along an arc.
  const double t = static_cast<double>(Frame) / (kFrames - 1);
  const double x = from.center().x() + t * (to.center().x() - from.center().x()) - 7;
  const double y = from.top() - 6 - std::sin(t * M_PI) * (h * 0.35);
  painter.save();
  painter.translate(x + 7, y + 9);
  painter.rotate(std::sin(t * 2 * M_PI) * 20);
  painter.setPen(palette().color(QPalette::Text));
  painter.setBrush(palette().color(QPalette::Base));
  painter.drawRect(QRectF(-7, -9, 14, 18));
  for (int line = 0; line < 3; ++line) {
    painter.drawLine(QPointF(-4, -5 + line * 4), QPointF(4, -5 + line * 4));
  }
  painter.restore();
}

}  // namespace pelmar
