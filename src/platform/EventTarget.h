#pragma once
// Where a worker thread's events go: the stand-in for a hidden window receiving posted
// messages and timers. Everything posted runs on the target's (user-interface) thread, in
// posting order.

#include <functional>

namespace pelmar {

class TEventTarget {
 public:
  using TTask = std::function<void()>;

  virtual ~TEventTarget() = default;
  // Thread-safe: queues a task for the target's thread.
  virtual void Post(TTask task) = 0;
  // Target thread only: a repeating timer; returns its id (never 0).
  virtual int StartTimer(int intervalMs, TTask onTick) = 0;
  virtual void KillTimer(int id) = 0;
  // Target thread only: runs what is pending now, without waiting.
  virtual void ProcessPendingEvents() = 0;
};

}  // namespace pelmar
