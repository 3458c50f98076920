// Feeds arbitrary column values, as a damaged queue.sqlite3 may hold them, to the reading of
// one kept-queue row: what it accepts must be a transfer that can be queued again.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transfers/QueueStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  pelmar::TStoredRow row;
  // Small numbers more often than not, so that rows that read are found too.
  auto number = [&] {
    return input.ConsumeBool() ? input.ConsumeIntegralInRange<int64_t>(-2, 70000)
                               : input.ConsumeIntegral<int64_t>();
  };
  row.Row = number();
  row.Host = input.ConsumeRandomLengthString(64);
  row.Port = number();
  row.User = input.ConsumeRandomLengthString(32);
  row.Account = input.ConsumeRandomLengthString(16);
  row.Encryption = number();
  row.Upload = number();
  row.IsFolder = number();
  row.SourceFolder = input.ConsumeRandomLengthString(64);
  row.DestFolder = input.ConsumeRandomLengthString(64);
  row.FileName = input.ConsumeRandomLengthString(64);
  row.DestRoot = input.ConsumeRandomLengthString(64);
  row.Size = number();
  row.FileDate = input.ConsumeFloatingPoint<double>();
  row.RestartOffset = number();
  row.BytesDone = number();
  row.Running = number();
  row.InPlace = number();
  std::string problem;
  const auto stored = pelmar::StoredTransferFromRow(row, problem);
  if (stored.has_value() == !problem.empty()) std::abort();
  if (!stored) return 0;
  const pelmar::TStoredTransfer& t = *stored;
  if (t.Server.Port < 1 || t.Server.Port > 65535 || t.Server.Encryption > pelmar::enImplicitTls ||
      t.Size < 0 || t.RestartOffset < 0 || t.BytesDone < 0 || !std::isfinite(t.FileDate)) {
    std::abort();
  }
  return 0;
}
