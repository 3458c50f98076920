#include "transfers/RateWindow.h"

namespace pelmar {

void TRateWindow::Add(int64_t tick, int64_t bytes) {
  if (Samples.empty() || bytes != Samples.back().second) LastMove = tick;
  if (!Samples.empty() && bytes < Samples.back().second) Samples.clear();  // a new batch
  Samples.emplace_back(tick, bytes);
  while (Samples.size() > 2 && tick - Samples[1].first >= kWindowMs) Samples.pop_front();
}

int64_t TRateWindow::Rate() const {
  if (Samples.size() < 2) return -1;
  const auto& [firstTick, firstBytes] = Samples.front();
  const auto& [lastTick, lastBytes] = Samples.back();
  const int64_t span = lastTick - firstTick;
  if (span < 1000) return -1;
  return (lastBytes - firstBytes) * 1000 / span;
}

bool TRateWindow::Stalled() const {
  return !Samples.empty() && Samples.back().first - LastMove >= kStallMs;
}

}  // namespace pelmar
