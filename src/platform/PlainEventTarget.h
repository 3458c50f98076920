#pragma once
// An event target without a GUI toolkit, for tests and command-line tools: the owning thread
// runs posted tasks and due timers in ProcessPendingEvents() or RunUntil().

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>

#include "platform/EventTarget.h"

namespace pelmar {

class TPlainEventTarget : public TEventTarget {
 public:
  void Post(TTask task) override;
  int StartTimer(int intervalMs, TTask onTick) override;
  void KillTimer(int id) override;
  void ProcessPendingEvents() override;

  // Runs tasks and timers as they become due until `done()` is true or `timeout` passed.
  // Returns done().
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

  bool HasTimer(int id) const { return Timers.count(id) != 0; }
  size_t TimerCount() const { return Timers.size(); }

 private:
  struct TTimer {
    int IntervalMs;
    int64_t Due;
    TTask OnTick;
  };
  void RunDueTimers();
  int64_t NextTimerDue() const;

  std::mutex Mutex;
  std::condition_variable Posted;
  std::deque<TTask> Tasks;
  std::map<int, TTimer> Timers;  // owning thread only
  int NextTimerId = 1;
};

}  // namespace pelmar
