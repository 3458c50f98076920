#pragma once
// The application's event target: tasks are queued onto the Qt event loop of the thread that
// owns this object (the GUI thread), timers are QTimers.

#include <QObject>
#include <QPointer>
#include <map>
#include <memory>

#include "platform/EventTarget.h"

class QTimer;

namespace pelmar {

class TQtEventTarget : public TEventTarget {
 public:
  TQtEventTarget();
  ~TQtEventTarget() override;

  void Post(TTask task) override;
  int StartTimer(int intervalMs, TTask onTick) override;
  void KillTimer(int id) override;
  void ProcessPendingEvents() override;

 private:
  // One receiver for every target, living in the GUI thread with the application: queued
  // invocations on it run there in posting order. A target never deletes it, because a target
  // may be released from inside Qt's clean-up of pending events (a posted task holding its
  // last owner), where deleting an object with pending events would deadlock.
  QPointer<QObject> Receiver;
  // Tasks of a target that is gone are dropped.
  std::shared_ptr<bool> Alive = std::make_shared<bool>(true);
  // Parentless: the shared receiver may go (with the application) before a target does.
  std::map<int, QPointer<QTimer>> Timers;
  int NextTimerId = 1;
};

}  // namespace pelmar
