// The records of the folders a pane keeps.

#include <gtest/gtest.h>

#include "listing/FolderCache.h"
#include "listing/RemoteItem.h"

namespace pelmar {
namespace {

// The cache hands its records back when a folder is dropped or listed again. (The order of rows
// is the panes' to show.)
TEST(FolderCache, RecordsGoBackWhenAFolderIsDroppedOrListedAgain) {
  TItemCache cache;
  TFolderCache folders(cache);
  auto row = [&](const char* name, uint16_t attributes, int64_t size, TDateTime date) {
    return TRemoteRow{name, cache.Add({attributes, size, date})};
  };
  std::vector<TRemoteRow> rows = {row("b.txt", 0, 300, 3), row("Zeta", iaFolder, 0, 1),
                                  row("a.bin", 0, 100, 4), row("alpha", iaFolder, 0, 2),
                                  row("C.doc", 0, 200, 1)};
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
