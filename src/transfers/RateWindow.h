#pragma once
// The transfer rate over the last few seconds, and whether the transfer has stalled: the
// average since the start hides a connection that has stopped moving, and makes the time left
// of a stalled transfer grow without bound ("97023:26 remaining").

#include <cstdint>
#include <deque>
#include <utility>

namespace pelmar {

class TRateWindow {
 public:
  static constexpr int64_t kWindowMs = 10000;  // the rate is measured over this long
  static constexpr int64_t kStallMs = 5000;    // no byte for this long is a stall

  // A count of bytes done at `tick` (milliseconds); counts never go down within a batch.
  void Add(int64_t tick, int64_t bytes);
  void Clear() { Samples.clear(); }
  // Bytes per second over the window; -1 while the window spans less than a second.
  int64_t Rate() const;
  // No byte moved for kStallMs up to the last sample.
  bool Stalled() const;

 private:
  std::deque<std::pair<int64_t, int64_t>> Samples;  // tick, bytes
  int64_t LastMove = 0;                             // tick at which the count last grew
};

}  // namespace pelmar
