#pragma once
// A thread's message queue: the stand-in for a Windows thread message queue with
// PostThreadMessage, GetMessage and PeekMessage. Posting also wakes a socket wait of the
// owning thread (see Sockets.h), through an eventfd that poll() can watch.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pelmar {

struct TThreadMessage {
  unsigned Message = 0;
  unsigned WParam = 0;
  std::vector<std::string> Args;  // the argument list; empty when none was posted
  uint64_t Serial = 0;            // numbers a component's requests in posting order
};

class TThreadQueue {
 public:
  TThreadQueue();
  ~TThreadQueue();
  TThreadQueue(const TThreadQueue&) = delete;
  TThreadQueue& operator=(const TThreadQueue&) = delete;

  // False when the wake descriptor could not be made; errno-based code in StartError().
  bool Valid() const { return WakeFd >= 0; }
  int StartError() const { return StartErrno; }

  // Appends a message. False once the queue was closed (its thread has ended).
  bool Post(TThreadMessage message);
  // Waits for the next message and removes it.
  TThreadMessage Get();
  // The first message of the given kind, removed when `remove` is true.
  std::optional<TThreadMessage> Peek(unsigned message, bool remove);
  // Removes and returns every queued message, oldest first.
  std::deque<TThreadMessage> TakeAll();
  // Refuses further posts and drops what is queued.
  void Close();

  // Readable whenever something was posted since the last DrainWake().
  int WakeDescriptor() const { return WakeFd; }
  void DrainWake();

 private:
  std::mutex Mutex;
  std::condition_variable Posted;
  std::deque<TThreadMessage> Messages;
  bool Closed = false;
  int WakeFd = -1;
  int StartErrno = 0;
};

}  // namespace pelmar
