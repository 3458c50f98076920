// What the panes show: the order of rows, and the records of folders kept.

#include <gtest/gtest.h>

#include "listing/FolderCache.h"
#include "listing/RemoteItem.h"

namespace pelmar {
namespace {

TEST(FolderCache, RowsSortFoldersFirstAndDescendingReversesAll) {
  TItemCache cache;
  TFolderCache folders(cache);
  auto row = [&](const char* name, uint16_t attributes, int64_t size, TDateTime date) {
    return TRemoteRow{name, cache.Add({attributes, size, date})};
  };
  std::vector<TRemoteRow> rows = {row("b.txt", 0, 300, 3), row("Zeta", iaFolder, 0, 1),
                                  row("a.bin", 0, 100, 4), row("alpha", iaFolder, 0, 2),
                                  row("C.doc", 0, 200, 1)};
  auto order = [&](int column) {
    std::vector<TRemoteRow> sorted = rows;
    std::stable_sort(sorted.begin(), sorted.end(), [&](const TRemoteRow& a, const TRemoteRow& b) {
      const std::string typeA = a.Name.substr(a.Name.find('.') + 1);
      const std::string typeB = b.Name.substr(b.Name.find('.') + 1);
      return CompareRemoteRows(a, *cache.Get(a.Record), typeA, b, *cache.Get(b.Record), typeB,
                               column) < 0;
    });
    std::string names;
    for (const auto& r : sorted) names += r.Name + " ";
    return names;
  };
  EXPECT_EQ(order(1), "alpha Zeta a.bin b.txt C.doc ");
  EXPECT_EQ(order(-1), "C.doc b.txt a.bin Zeta alpha ") << "descending: folders last";
  EXPECT_EQ(order(2), "alpha Zeta a.bin C.doc b.txt ");
  EXPECT_EQ(order(3), "alpha Zeta a.bin C.doc b.txt ");
  EXPECT_EQ(order(4), "Zeta alpha C.doc b.txt a.bin ") << "folders by date too";

  // The cache hands its records back when a folder is dropped or listed again.
  folders.Store("/pub/", rows);
  EXPECT_TRUE(folders.Update("/pub/", "b.txt", {0, 999, 5}));
  EXPECT_EQ(folders.Names("/pub/")->size(), 5u) << "an arrived file replaces its entry";
  EXPECT_TRUE(folders.Update("/pub/", "new.bin", {0, 1, 5}));
  EXPECT_FALSE(folders.Update("/other/", "x", {0, 1, 5})) << "only listed folders take entries";
  folders.Expect("/other/");
  EXPECT_TRUE(folders.Contains("/other/"));
  EXPECT_EQ(folders.Names("/other/"), nullptr);
  folders.Drop("/pub/");
  int live = 0;
  for (int i = 0; i < cache.Count(); ++i) live += cache.Get(i) != nullptr;
  EXPECT_EQ(live, 0);
}

}  // namespace
}  // namespace pelmar
