#include "ui/ActivityAnimation.h"

#include <QPainter>
#include <cmath>

namespace pelmar {

TActivityAnimation::TActivityAnimation(QWidget* parent) : QWidget(parent) {
  setMinimumSize(35, 30);
  Timer.setInterval(80);
  connect(&Timer, &QTimer::timeout, this, [this] {
    Frame = (Frame + 1) % 12;
    update();
  });
}

void TActivityAnimation::SetActive(bool active) {
  if (active == Timer.isActive()) return;
  if (active) {
    Timer.start();
  } else {
    Timer.stop();
  }
  update();
}

void TActivityAnimation::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPointF centre = QRectF(rect()).center();
  const double radius = std::min(width(), height()) * 0.32;
  for (int dot = 0; dot < 12; ++dot) {
    const double angle = dot * M_PI / 6.0;
    const int age = (Frame - dot + 12) % 12;
    const int light = Timer.isActive() ? 255 - age * 18 : 70;
    painter.setBrush(QColor(light, light, light));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(centre + QPointF(radius * std::cos(angle), radius * std::sin(angle)), 1.8,
                        1.8);
  }
}

void TActivityAnimation::mouseDoubleClickEvent(QMouseEvent* event) {
  emit DoubleClicked();
  QWidget::mouseDoubleClickEvent(event);
}

}  // namespace pelmar
