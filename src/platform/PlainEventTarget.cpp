#include "platform/PlainEventTarget.h"

#include <vector>

#include "platform/Tick.h"

namespace pelmar {

void TPlainEventTarget::Post(TTask task) {
  {
    std::lock_guard lock(Mutex);
    Tasks.push_back(std::move(task));
  }
  Posted.notify_all();
}

int TPlainEventTarget::StartTimer(int intervalMs, TTask onTick) {
  const int id = NextTimerId++;
  Timers[id] = TTimer{intervalMs, GetTickCount() + intervalMs, std::move(onTick)};
  return id;
}

void TPlainEventTarget::KillTimer(int id) {
  Timers.erase(id);
}

void TPlainEventTarget::ProcessPendingEvents() {
  std::deque<TTask> batch;
  {
    std::lock_guard lock(Mutex);
    batch.swap(Tasks);
  }
  for (auto& task : batch) task();
  RunDueTimers();
}

void TPlainEventTarget::RunDueTimers() {
  const int64_t now = GetTickCount();
  std::vector<int> due;
  for (const auto& [id, timer] : Timers) {
    if (timer.Due <= now) due.push_back(id);
  }
  for (int id : due) {
    auto it = Timers.find(id);
    if (it == Timers.end()) continue;  // killed by an earlier tick
    it->second.Due = now + it->second.IntervalMs;
    TTask tick = it->second.OnTick;  // the tick may kill its own timer
    tick();
  }
}

int64_t TPlainEventTarget::NextTimerDue() const {
  int64_t next = 0;
  for (const auto& [id, timer] : Timers) {
    if (next == 0 || timer.Due < next) next = timer.Due;
  }
  return next;
}

bool TPlainEventTarget::RunUntil(const std::function<bool()>& done,
                                 std::chrono::milliseconds timeout) {
  const int64_t end = GetTickCount() + timeout.count();
  for (;;) {
    ProcessPendingEvents();
    if (done()) return true;
    const int64_t now = GetTickCount();
    if (now >= end) return false;
    int64_t wakeAt = end;
    const int64_t timerDue = NextTimerDue();
    if (timerDue != 0 && timerDue < wakeAt) wakeAt = timerDue;
    std::unique_lock lock(Mutex);
    Posted.wait_for(lock, std::chrono::milliseconds(std::max<int64_t>(wakeAt - now, 0)),
                    [this] { return !Tasks.empty(); });
  }
}

}  // namespace pelmar
