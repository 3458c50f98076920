// The queue's order as the person changes it, and ended items taken out of it.

#include <unordered_set>

#include "transfers/TransferQueue.h"

namespace pelmar {

std::vector<size_t> TTransferItems::MovedOrder(const std::vector<uint64_t>& ids,
                                               TQueueMove where) const {
  const std::unordered_set<uint64_t> chosen(ids.begin(), ids.end());
  std::vector<size_t> block;
  std::vector<size_t> rest;
  for (size_t i = 0; i < Items.size(); ++i) {
    const TTransferItem& item = *Items[i];
    (item.State == tsPending && chosen.count(item.Id) > 0 ? block : rest).push_back(i);
  }
  if (block.empty()) return {};
  // Where among the others the block goes.
  auto othersBefore = [&rest](size_t index) {
    return static_cast<size_t>(std::lower_bound(rest.begin(), rest.end(), index) - rest.begin());
  };
  size_t at = 0;
  switch (where) {
    case qmUp:  // before the item above the first of them
      at = othersBefore(block.front());
      if (at > 0) --at;
      break;
    case qmDown:  // after the item below the last of them
      at = std::min(othersBefore(block.back()) + 1, rest.size());
      break;
    case qmTop:
      at = 0;
      break;
    case qmBottom:
      at = rest.size();
      break;
  }
  std::vector<size_t> order(rest.begin(), rest.begin() + static_cast<ptrdiff_t>(at));
  order.insert(order.end(), block.begin(), block.end());
  order.insert(order.end(), rest.begin() + static_cast<ptrdiff_t>(at), rest.end());
  for (size_t i = 0; i < order.size(); ++i) {
    if (order[i] != i) return order;
  }
  return {};
}

bool TTransferItems::CanMove(const std::vector<uint64_t>& ids, TQueueMove where) const {
  return !MovedOrder(ids, where).empty();
}

bool TTransferItems::MoveItems(const std::vector<uint64_t>& ids, TQueueMove where) {
  const std::vector<size_t> order = MovedOrder(ids, where);
  if (order.empty()) return false;
  std::vector<std::unique_ptr<TTransferItem>> moved;
  moved.reserve(Items.size());
  for (const size_t from : order) moved.push_back(std::move(Items[from]));
  Items = std::move(moved);
  // The next item to start is looked for in the new order.
  ScanFrom = 0;
  NotifyReordered();
  StartNext();
  return true;
}

int TTransferItems::RemoveFinished() {
  auto finished = [](const TTransferItem& item) {
    return item.State == tsDone || (item.State == tsCancelled && item.Skipped);
  };
  int removed = 0;
  for (const auto& item : Items) {
    if (!finished(*item)) continue;
    Notify(&ITransferListener::ItemRemoved, *item);
    ++removed;
  }
  if (removed == 0) return 0;
  for (auto& [connection, markers] : FolderMarkers) {
    for (TTransferItem*& marker : markers) {
      if (marker && finished(*marker)) marker = nullptr;
    }
  }
  std::vector<std::unique_ptr<TTransferItem>> kept;
  kept.reserve(Items.size() - static_cast<size_t>(removed));
  for (auto& item : Items) {
    if (finished(*item)) {
      ById.erase(item->Id);
      CountState(*item, item->State, -1);
    } else {
      kept.push_back(std::move(item));
    }
  }
  Items = std::move(kept);
  ScanFrom = 0;
  return removed;
}

void TTransferItems::NotifyReordered() {
  const std::vector<ITransferListener*> listeners = Listeners;
  for (ITransferListener* listener : listeners) {
    if (std::find(Listeners.begin(), Listeners.end(), listener) != Listeners.end()) {
      listener->QueueReordered();
    }
  }
}

}  // namespace pelmar
