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

// Tells every worker to abort and quit, and waits up to `bound` for all of them to end.
// Returns true when none is left.
bool ShutdownEngine(std::chrono::milliseconds bound);

}  // namespace pelmar
