// Listing parse rate against a bare line split over the same text, and the item cache's
// memory for the same number of entries.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "listing/ItemCache.h"
#include "listing/ListingPass.h"

namespace {

using namespace pelmar;
constexpr int kLines = 100000;
constexpr int kRounds = 7;

std::string UnixListing() {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string text = "total 123456\r\n";
  char line[256];
  for (int i = 0; i < kLines; ++i) {
    const bool folder = i % 10 == 0;
    const bool recent = i % 3 != 0;
    char date[32];
    if (recent) {
      std::snprintf(date, sizeof date, "%s %2d %02d:%02d", kMonths[i % 12], i % 28 + 1, i % 24,
                    i % 60);
    } else {
      std::snprintf(date, sizeof date, "%s %2d  %4d", kMonths[i % 12], i % 28 + 1, 2000 + i % 25);
    }
    std::snprintf(line, sizeof line, "%s   1 ftpuser  ftpgroup %12d %s %s_%06d.%s\r\n",
                  folder ? "drwxr-xr-x" : "-rw-r--r--", folder ? 4096 : (i * 7919) % 100000000,
                  date, folder ? "folder" : "document", i, folder ? "d" : "txt");
    text += line;
  }
  return text;
}

std::string DosListing() {
  std::string text;
  char line[256];
  for (int i = 0; i < kLines; ++i) {
    const bool folder = i % 10 == 0;
    const int hour = i % 12 + 1;
    if (folder) {
      std::snprintf(line, sizeof line,
                    "%02d-%02d-%02d  %02d:%02d%s       <DIR>          folder_%06d\r\n", i % 12 + 1,
                    i % 28 + 1, i % 100, hour, i % 60, i % 2 ? "AM" : "PM", i);
    } else {
      std::snprintf(line, sizeof line, "%02d-%02d-%02d  %02d:%02d%s %20d document_%06d.txt\r\n",
                    i % 12 + 1, i % 28 + 1, i % 100, hour, i % 60, i % 2 ? "AM" : "PM",
                    (i * 7919) % 100000000, i);
    }
    text += line;
  }
  return text;
}

// The best of several rounds; `prepare` runs before each round, outside the timing.
template <typename P, typename F>
double BestSeconds(P&& prepare, F&& run) {
  double best = 1e9;
  for (int r = 0; r < kRounds; ++r) {
    prepare();
    const auto start = std::chrono::steady_clock::now();
    run();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (took.count() < best) best = took.count();
  }
  return best;
}

// The lines of the text, found with memchr: what any parser must do at the least.
void BareSplit(const std::string& text, std::vector<std::string_view>& lines) {
  const char* at = text.data();
  const char* end = text.data() + text.size();
  while (at < end) {
    const void* nl = std::memchr(at, '\n', static_cast<size_t>(end - at));
    const char* stop = nl ? static_cast<const char*>(nl) : end;
    lines.emplace_back(at, static_cast<size_t>(stop - at));
    at = stop + 1;
  }
}

void Measure(const char* name, const std::string& text) {
  std::vector<TRemoteItem> items;
  items.reserve(kLines);
  TListingHooks hooks;
  hooks.AddItem = [&](TRemoteItem& item) { items.push_back(std::move(item)); };
  TListingPass pass;
  size_t parsed = 0;
  const double parse = BestSeconds([&] { items.clear(); },
                                   [&] {
                                     pass.ListingReceived(text, TDate{2026, 6, 15}, hooks);
                                     parsed = items.size();
                                   });
  std::vector<std::string_view> lines;
  lines.reserve(kLines + 1);
  const double split = BestSeconds([&] { lines.clear(); }, [&] { BareSplit(text, lines); });
  TItemCache cache;
  for (const auto& item : items) cache.Add({item.Attributes, item.Size, item.Modified});
  std::printf("%s: %zu entries from %zu bytes\n", name, parsed, text.size());
  std::printf("  parse %.1f ms (%.0f lines/s), bare split %.2f ms (%.0f lines/s)\n", parse * 1e3,
              kLines / parse, split * 1e3, kLines / split);
  std::printf("  item cache %zu bytes = %.2f x the listing text\n", cache.MemoryUsed(),
              static_cast<double>(cache.MemoryUsed()) / static_cast<double>(text.size()));
  std::printf("  ratio parser/split: %.1f\n", parse / split);
}

}  // namespace

int main() {
  Measure("Unix", UnixListing());
  Measure("DOS", DosListing());
  return 0;
}
