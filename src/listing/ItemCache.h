#pragma once
// The process-wide store of remote item records. Names lists keep indices into it; list items
// keep pointers to the records, which stay where they are until released or cleared.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/DateTime.h"

namespace pelmar {

struct TItemRecord {
  uint16_t Attributes = 0;
  int64_t Size = 0;
  TDateTime Modified = 0;
  uint64_t Unique = 0;  // as TRemoteItem's
};

class TItemCache {
 public:
  static constexpr size_t kInitialCapacity = 1024;

  TItemCache();
  // Copies the record into the cache; returns its index.
  int Add(const TItemRecord& record);
  // The record at `index`; nullptr for a released slot or an index out of range.
  TItemRecord* Get(int index) const;
  // The index of that very record (compared by address), -1 if it is not here.
  int IndexOf(const TItemRecord* record) const;
  // Frees the record; the slot stays, so other indices keep their meaning.
  void Release(int index);
  // Frees everything and starts over with the initial capacity.
  void Clear();
  int Count() const { return static_cast<int>(Records.size()); }
  // Bytes held by the cache: slots plus records.
  size_t MemoryUsed() const;

 private:
  std::vector<std::unique_ptr<TItemRecord>> Records;
  size_t Live = 0;
};

// The one cache of the process.
TItemCache& ItemCache();

}  // namespace pelmar
