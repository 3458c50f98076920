#include "platform/qt/QtEventTarget.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

namespace pelmar {

TQtEventTarget::TQtEventTarget() : Receiver(std::make_unique<QObject>()) {}

TQtEventTarget::~TQtEventTarget() {
  for (auto& [id, timer] : Timers) delete timer;
}

void TQtEventTarget::Post(TTask task) {
  QMetaObject::invokeMethod(Receiver.get(), std::move(task), Qt::QueuedConnection);
}

int TQtEventTarget::StartTimer(int intervalMs, TTask onTick) {
  const int id = NextTimerId++;
  auto* timer = new QTimer(Receiver.get());
  timer->setInterval(intervalMs);
  QObject::connect(timer, &QTimer::timeout, Receiver.get(), std::move(onTick));
  timer->start();
  Timers[id] = timer;
  return id;
}

void TQtEventTarget::KillTimer(int id) {
  auto it = Timers.find(id);
  if (it == Timers.end()) return;
  delete it->second;
  Timers.erase(it);
}

void TQtEventTarget::ProcessPendingEvents() {
  QCoreApplication::processEvents();
}

}  // namespace pelmar
