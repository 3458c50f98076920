#include "listing/ItemCache.h"

namespace pelmar {

TItemCache::TItemCache() {
  Records.reserve(kInitialCapacity);
}

int TItemCache::Add(const TItemRecord& record) {
  Records.push_back(std::make_unique<TItemRecord>(record));
  ++Live;
  return static_cast<int>(Records.size()) - 1;
}

TItemRecord* TItemCache::Get(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return Records[static_cast<size_t>(index)].get();
}

int TItemCache::IndexOf(const TItemRecord* record) const {
  if (!record) return -1;
  for (size_t i = 0; i < Records.size(); ++i) {
    if (Records[i].get() == record) return static_cast<int>(i);
  }
  return -1;
}

void TItemCache::Release(int index) {
  if (index < 0 || index >= Count() || !Records[static_cast<size_t>(index)]) return;
  Records[static_cast<size_t>(index)].reset();
  --Live;
}

void TItemCache::Clear() {
  Records.clear();
  Records.shrink_to_fit();
  Records.reserve(kInitialCapacity);
  Live = 0;
}

size_t TItemCache::MemoryUsed() const {
  // A record lives in its own heap block; malloc rounds small blocks up to 32 bytes.
  constexpr size_t kRecordBlock = (sizeof(TItemRecord) + 8 + 15) / 16 * 16;
  return Records.capacity() * sizeof(Records[0]) + Live * kRecordBlock;
}

TItemCache& ItemCache() {
  static TItemCache cache;
  return cache;
}

}  // namespace pelmar
