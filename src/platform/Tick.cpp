#include "platform/Tick.h"

#include <chrono>

namespace pelmar {

int64_t GetTickCount() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() + 1;
}

}  // namespace pelmar
