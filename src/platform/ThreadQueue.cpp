#include "platform/ThreadQueue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace pelmar {

TThreadQueue::TThreadQueue() {
  WakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (WakeFd < 0) StartErrno = errno;
}

TThreadQueue::~TThreadQueue() {
  if (WakeFd >= 0) ::close(WakeFd);
}

bool TThreadQueue::Post(TThreadMessage message) {
  {
    std::lock_guard lock(Mutex);
    if (Closed) return false;
    Messages.push_back(std::move(message));
  }
  Posted.notify_one();
  if (WakeFd >= 0) {
    const uint64_t one = 1;
    // A full counter (never in practice) still leaves the descriptor readable.
    [[maybe_unused]] ssize_t written = ::write(WakeFd, &one, sizeof one);
  }
  return true;
}

TThreadMessage TThreadQueue::Get() {
  std::unique_lock lock(Mutex);
  Posted.wait(lock, [this] { return !Messages.empty(); });
  TThreadMessage message = std::move(Messages.front());
  Messages.pop_front();
  return message;
}

std::optional<TThreadMessage> TThreadQueue::Peek(unsigned message, bool remove) {
  std::lock_guard lock(Mutex);
  for (auto it = Messages.begin(); it != Messages.end(); ++it) {
    if (it->Message != message) continue;
    if (!remove) return *it;
    TThreadMessage found = std::move(*it);
    Messages.erase(it);
    return found;
  }
  return std::nullopt;
}

std::deque<TThreadMessage> TThreadQueue::TakeAll() {
  std::lock_guard lock(Mutex);
  std::deque<TThreadMessage> all;
  all.swap(Messages);
  return all;
}

void TThreadQueue::Close() {
  std::lock_guard lock(Mutex);
  Closed = true;
  Messages.clear();
}

void TThreadQueue::DrainWake() {
  if (WakeFd < 0) return;
  uint64_t count = 0;
  [[maybe_unused]] ssize_t got = ::read(WakeFd, &count, sizeof count);
}

}  // namespace pelmar
