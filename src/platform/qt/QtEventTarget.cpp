#include "platform/qt/QtEventTarget.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

namespace pelmar {

namespace {

// Made on the GUI thread by the first target, deleted with the application.
QObject* SharedReceiver() {
  static QPointer<QObject> receiver;
  if (!receiver) receiver = new QObject(QCoreApplication::instance());
  return receiver;
}

}  // namespace

TQtEventTarget::TQtEventTarget() : Receiver(SharedReceiver()) {}

TQtEventTarget::~TQtEventTarget() {
  for (auto& [id, timer] : Timers) delete timer;
}

void TQtEventTarget::Post(TTask task) {
  std::weak_ptr<bool> alive = Alive;
  QMetaObject::invokeMethod(
      Receiver.data(),
      [alive, task = std::move(task)] {
        if (!alive.expired()) task();
      },
      Qt::QueuedConnection);
}

int TQtEventTarget::StartTimer(int intervalMs, TTask onTick) {
  const int id = NextTimerId++;
  auto* timer = new QTimer();
  timer->setInterval(intervalMs);
  QObject::connect(timer, &QTimer::timeout, timer, std::move(onTick));
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
