#include "engine/WorkerRegistry.h"

#include <condition_variable>
#include <mutex>
#include <vector>

#include "engine/Messages.h"

namespace pelmar {
namespace {

struct TRegistry {
  std::mutex Mutex;
  std::condition_variable Ended;
  std::vector<std::weak_ptr<TWorkerShared>> Workers;
  std::vector<const TWorkerShared*> Keys;
};

// Never destroyed: detached workers may unregister while static destructors run.
TRegistry& Registry() {
  static auto* registry = new TRegistry;
  return *registry;
}

}  // namespace

void RegisterWorker(const std::shared_ptr<TWorkerShared>& shared) {
  auto& r = Registry();
  std::lock_guard lock(r.Mutex);
  r.Workers.push_back(shared);
  r.Keys.push_back(shared.get());
}

void UnregisterWorker(const TWorkerShared* shared) {
  auto& r = Registry();
  {
    std::lock_guard lock(r.Mutex);
    for (size_t i = 0; i < r.Keys.size(); ++i) {
      if (r.Keys[i] != shared) continue;
      r.Keys.erase(r.Keys.begin() + static_cast<std::ptrdiff_t>(i));
      r.Workers.erase(r.Workers.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  r.Ended.notify_all();
}

size_t LiveWorkerCount() {
  auto& r = Registry();
  std::lock_guard lock(r.Mutex);
  return r.Keys.size();
}

bool WaitForNoWorkers(std::chrono::milliseconds bound) {
  auto& r = Registry();
  std::unique_lock lock(r.Mutex);
  return r.Ended.wait_for(lock, bound, [&] { return r.Keys.empty(); });
}

bool ShutdownEngine(std::chrono::milliseconds bound) {
  auto& r = Registry();
  std::unique_lock lock(r.Mutex);
  for (auto& weak : r.Workers) {
    if (auto shared = weak.lock()) {
      shared->Queue.Post({WM_FTPABORT, 0, {}});
      shared->Queue.Post({WM_FTPCANCEL, 0, {}});
      shared->Queue.Post({WM_QUIT, 0, {}});
    }
  }
  return r.Ended.wait_for(lock, bound, [&] { return r.Keys.empty(); });
}

}  // namespace pelmar
