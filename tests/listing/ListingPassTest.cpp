// The pass over a whole listing and the rules by which a pane takes entries in.

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "listing/FolderItems.h"
#include "listing/ItemCache.h"
#include "listing/ListingPass.h"
#include "listing/TimeOffset.h"

namespace pelmar {
namespace {

const TDate kToday{2026, 6, 15};

std::string FileLine(const std::string& name) {
  return "-rw-r--r--   1 u g 5 Jun 10 12:00 " + name;
}

std::vector<std::string> Names(std::string_view text, TListingPass& pass,
                               TListingHooks hooks = {}) {
  std::vector<std::string> names;
  hooks.AddItem = [&](const TRemoteItem& item) { names.push_back(item.Name); };
  pass.ListingReceived(text, kToday, hooks);
  return names;
}

TEST(ListingPass, LineEndsBlankLinesAndTheLastLine) {
  const struct {
    const char* Name;
    std::string Text;
    std::vector<std::string> Names;
  } cases[] = {
      {"blank line in the middle", FileLine("a") + "\r\n\r\n" + FileLine("b") + "\r\n", {"a", "b"}},
      {"last line without a line end", FileLine("a") + "\n" + FileLine("b"), {"a", "b"}},
      {"CR line ends only", FileLine("a") + "\r" + FileLine("b") + "\r", {"a", "b"}},
      {"mixed", FileLine("a") + "\n" + FileLine("b") + "\r\n" + FileLine("c"), {"a", "b", "c"}},
      {"a CR inside a name", FileLine("Icon\r") + "\r\n" + FileLine("b") + "\n", {"Icon\r", "b"}},
      {"empty", "", {}},
  };
  for (const auto& c : cases) {
    TListingPass pass;
    EXPECT_EQ(Names(c.Text, pass), c.Names) << c.Name;
  }
}

TEST(ListingPass, PausesForPendingEventsAndStopsWhenAskedTo) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += FileLine("f" + std::to_string(i)) + "\r\n";
  TListingPass pass;
  int pauses = 0;
  TListingHooks hooks;
  hooks.ProcessPendingEvents = [&] { ++pauses; };
  EXPECT_EQ(Names(text, pass, hooks).size(), 1000u);
  EXPECT_EQ(pauses, 1000 / (TListingPass::kLinesPerPause + 1));

  // A command run during the pause (say, a change of folder) ends the pass.
  hooks.ProcessPendingEvents = [&] { pass.BuildingList = false; };
  EXPECT_EQ(Names(text, pass, hooks).size(), static_cast<size_t>(TListingPass::kLinesPerPause + 1));
  EXPECT_FALSE(pass.BuildingList);
}

// A site's time zone offset moves the server's local LIST times, never exact MLSD ones. Each
// entry tells whether its line was of the Unix layout.
TEST(ListingPass, TheServersTimeZoneOffsetMovesListTimesOnly) {
  const std::string text =
      FileLine("listed") + "\r\ntype=file;size=5;modify=20260610120000; exact\r\n";
  for (const int offset : {0, 90, -120}) {
    SCOPED_TRACE(offset);
    TListingPass pass;
    pass.TimeOffsetMinutes = offset;
    std::map<std::string, TDateTime> times;
    std::vector<bool> layouts;
    TListingHooks hooks;
    hooks.AddItem = [&](const TRemoteItem& item) { times[item.Name] = item.Modified; };
    hooks.SetUnixListing = [&](bool unixLayout) { layouts.push_back(unixLayout); };
    pass.ListingReceived(text, kToday, hooks);
    EXPECT_EQ(layouts, (std::vector<bool>{true, false}));
    const TDateTime listed = *TryEncodeDate(2026, 6, 10) + *TryEncodeTime(12, 0, 0, 0);
    EXPECT_NEAR(times["listed"], listed - offset / 1440.0, 1e-6);
    EXPECT_NEAR(times["exact"], DateTimeFromTimeT(1781092800), 1e-6);
  }
}

// One file's listed time against its exact time: the zone to a quarter hour, or nothing.
TEST(TimeOffset, FromOneFilesTwoTimes) {
  const std::time_t exact = 1781092845;  // 12:00:45 UTC
  const TDateTime local = DateTimeFromTimeT(exact - 45);
  const struct {
    double Minutes;  // listed time minus the exact one, before the seconds are dropped
    std::optional<int> Offset;
    const char* Text;
  } cases[] = {
      {0, 0, "the same as"},
      {120, 120, "2 hours ahead of"},
      {-60, -60, "1 hour behind"},
      {330, 330, "5.5 hours ahead of"},
      {-585, -585, "9.75 hours behind"},
      {1441, std::nullopt, ""},
      {-2000, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Minutes);
    EXPECT_EQ(ListedTimeOffset(local + c.Minutes / 1440.0, exact), c.Offset);
    if (c.Offset) {
      EXPECT_EQ(TimeOffsetText(*c.Offset), c.Text);
    }
  }
  const TDateTime now = DateTimeFromTimeT(exact);
  EXPECT_TRUE(ListedTimeTellsZone(now - 30, now));
  EXPECT_FALSE(ListedTimeTellsZone(now - 200, now)) << "a year-form date gives only the day";
}

TRemoteItem Item(const std::string& name, uint16_t attributes, int64_t size = 10) {
  return TRemoteItem{name, attributes, size, 46000.5};
}

TEST(FolderItems, WhatAPaneTakesIn) {
  TItemCache cache;
  TFolderItems folder(cache);
  folder.Masks = {"*.txt"};
  std::vector<std::string> treeFolders;
  folder.OnFolderListed = [&](const std::string& name) { treeFolders.push_back(name); };
  const struct {
    TRemoteItem Item;
    bool Taken;
    bool StoredAsFolder;
  } cases[] = {
      {Item("a.txt", iaOwnerRead), true, false},
      {Item("b.bin", iaOwnerRead), false, false},  // the mask leaves it out
      {Item("sub.bin", iaFolder, 0), true, true},  // folders are never masked
      {Item(".", iaFolder, 0), false, false},
      {Item("..", iaFolder, 0), false, false},
      {Item("www -> /home/www", iaLink), false, false},    // masked by its own name "www"
      {Item("l.txt -> /home/www", iaLink), true, true},    // target without extension
      {Item("m.txt -> index.html", iaLink), true, false},  // target with an extension
      {Item("n.txt -> dir.d/file", iaLink), true, true},   // the "." is before the last "/"
      {Item("o.txt", iaLink), true, true},                 // a link without a target
      {Item("p.txt -> ..", iaLink), true, true},           // "." and ".." are folders
      {Item("r.txt -> /srv/www/", iaLink), true, true},
  };
  int64_t total = 0;
  for (const auto& c : cases) {
    const int index = folder.Add(c.Item);
    EXPECT_EQ(index >= 0, c.Taken) << c.Item.Name;
    if (index < 0) continue;
    total += c.Item.Size;
    const TItemRecord* record = cache.Get(index);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ((record->Attributes & iaFolder) != 0, c.StoredAsFolder) << c.Item.Name;
    EXPECT_EQ(record->Size, c.Item.Size);
  }
  EXPECT_EQ(folder.TotalBytes(), total);
  EXPECT_EQ(folder.Names().size(), 8u);
  EXPECT_EQ(folder.Names()[2].first, "l.txt -> /home/www");
  EXPECT_EQ(treeFolders, std::vector<std::string>{"sub.bin"})
      << "links shown as folders do not join the tree";
}

TEST(ItemCache, SlotsKeepTheirIndicesAndRecordsTheirPlace) {
  TItemCache cache;
  const int a = cache.Add({1, 10, 1.0});
  const int b = cache.Add({2, 20, 2.0});
  TItemRecord* recordB = cache.Get(b);
  for (int i = 0; i < 5000; ++i) cache.Add({0, i, 0});  // growth must not move records
  EXPECT_EQ(cache.Get(b), recordB);
  EXPECT_EQ(cache.IndexOf(recordB), b);
  cache.Release(a);
  EXPECT_EQ(cache.Get(a), nullptr);
  EXPECT_EQ(cache.Get(b)->Size, 20);
  EXPECT_EQ(cache.IndexOf(nullptr), -1);
  EXPECT_EQ(cache.Get(-1), nullptr);
  EXPECT_EQ(cache.Get(cache.Count()), nullptr);
  cache.Release(a);  // twice is harmless
}

}  // namespace
}  // namespace pelmar
