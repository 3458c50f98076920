#pragma once
// What a component and its worker thread share. Both hold it by shared_ptr, so either may
// go first; everything here is safe to touch from both threads.

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/EventTarget.h"
#include "platform/ThreadQueue.h"

namespace pelmar {

class TFTPComponent;

// Owned by the component; events find their component through a weak reference to it, so an
// event that arrives after the component is gone finds nothing and is dropped.
struct TComponentAnchor {
  TFTPComponent* Component;
};

struct TWorkerShared {
  explicit TWorkerShared(std::shared_ptr<TEventTarget> target) : Target(std::move(target)) {}

  TThreadQueue Queue;
  std::atomic<int> ControlSocket{-1};       // read by IsConnected
  std::atomic<uint8_t> CurrentRequest{0};   // read by IsBusy
  std::atomic<uint8_t> ServerCanResume{0};  // written by the resume probe
  // A connection that moves file after file: it asks the next data port as each transfer
  // ends (see TFTPThread::ReadyPort).
  std::atomic<bool> PortAhead{false};
  const std::shared_ptr<TEventTarget> Target;
  std::weak_ptr<TComponentAnchor> Anchor;  // set before the worker starts, never changed
};

}  // namespace pelmar
