#pragma once
// What a protocol's session needs from the worker thread that serves it: sending events and
// log lines to the component, and waiting on a socket with the worker's abort and time-out.

#include <memory>
#include <string>

#include "engine/EventRecords.h"
#include "engine/WorkerShared.h"
#include "platform/Sockets.h"

namespace pelmar {

class TWorkerServices {
 public:
  virtual ~TWorkerServices() = default;
  virtual void PostEvent(int code, std::shared_ptr<TEventRecord> record = nullptr) = 0;
  virtual void PostError(int code, const std::string& text) = 0;
  virtual void Log(const std::string& text) = 0;
  // Starts the watchdog for a blocking step; `step` finishes the sentence "timed out after
  // N s ..." should the step run out of time.
  virtual void ArmWatchdog(std::string step) = 0;
  // The last socket call ended because the watchdog ran out, not because of an abort.
  virtual bool TimedOut() const = 0;
  virtual std::string TimedOutText() const = 0;
  virtual TBlockingContext& Waits() = 0;
  virtual TAbortState& AbortFlags() = 0;
  virtual TWorkerShared& SharedState() = 0;
};

}  // namespace pelmar
