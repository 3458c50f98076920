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
  // Lives in the GUI thread; queued invocations on it run there in posting order.
  std::unique_ptr<QObject> Receiver;
  std::map<int, QTimer*> Timers;
  int NextTimerId = 1;
};

}  // namespace pelmar
