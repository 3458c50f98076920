#pragma once
// Keeps track of the running workers so that the program can end them all at exit.

#include <chrono>
#include <cstddef>
#include <memory>

#include "engine/WorkerShared.h"

namespace pelmar {

void RegisterWorker(const std::shared_ptr<TWorkerShared>& shared);
void UnregisterWorker(const TWorkerShared* shared);
size_t LiveWorkerCount();
// Waits up to `bound` until no worker runs; true when none is left.
bool WaitForNoWorkers(std::chrono::milliseconds bound);

// Tells every worker to abort, drop its queued requests (a queued QUIT is still sent) and quit, and
// waits up to `bound` for all of them to end. Returns true when none is left.
bool ShutdownEngine(std::chrono::milliseconds bound);

}  // namespace pelmar
