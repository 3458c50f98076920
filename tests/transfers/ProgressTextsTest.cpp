// The progress window's texts and the date of a finished download.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/Files.h"
#include "transfers/ProgressTexts.h"
#include "transfers/RateWindow.h"

namespace pelmar {
namespace {

// Rates: bytes below a kilobyte a second, else kilobytes.
TEST(ProgressTexts, Rates) {
  const struct {
    int64_t Rate;
    const char* Text;
  } rates[] = {
      {0, "0 Bytes"},    {1023, "1023 Bytes"},          {1024, "1.00 KB"},
      {1536, "1.50 KB"}, {10485760 / 10, "1024.00 KB"}, {int64_t{5} << 31, "10485760.00 KB"}};
  for (const auto& c : rates) EXPECT_EQ(RateText(c.Rate), c.Text) << c.Rate;
}

// One file's figures from its counts: what is there (a resumed start included), its share, the
// rate of this session, and the time left at that rate.
TEST(ProgressTexts, FiguresOfAFile) {
  const struct {
    const char* Name;
    int64_t ResumedFrom, Moved, Size, ElapsedMs;
    TProgressFigures Figures;
    const char* Remaining;
  } cases[] = {
      {"resumed at 60%, 5% more this session",
       125829120,
       10485760,
       209715200,
       10000,
       {136314880, 65, 1048576, 70},
       "1:10 remaining"},
      {"too short to time: no rate", 0, 40960, 81920, 10, {40960, 50, -1, -1}, ""},
      {"timed, nothing moved yet", 400, 0, 1000, 5000, {400, 40, 0, -1}, ""},
      {"one byte short is not 100%", 0, 999, 1000, 2000, {999, 99, 500, 0}, "0:00 remaining"},
      {"all there", 0, 1000, 1000, 2000, {1000, 100, 500, 0}, "0:00 remaining"},
      {"a size not known", 0, 500, 0, 2000, {500, 0, 250, 0}, "0:00 remaining"},
  };
  for (const auto& c : cases) {
    const TProgressFigures f = ProgressFigures(c.ResumedFrom, c.Moved, c.Size, c.ElapsedMs);
    EXPECT_EQ(f.Done, c.Figures.Done) << c.Name;
    EXPECT_EQ(f.Percent, c.Figures.Percent) << c.Name;
    EXPECT_EQ(f.Rate, c.Figures.Rate) << c.Name;
    EXPECT_EQ(f.Remaining, c.Figures.Remaining) << c.Name;
    EXPECT_EQ(RemainingText(f.Remaining), c.Remaining) << c.Name;
  }
  EXPECT_EQ(SkippedText(52428800, 104857600), "Skipped (partial: 52,428,800 of 104,857,600 bytes)");
  EXPECT_EQ(SkippedText(-1, 104857600), "Skipped");
}

// The rate of the last seconds and the stall: samples of (tick ms, bytes done).
TEST(RateWindow, RecentRateAndStalls) {
  const struct {
    const char* Name;
    std::vector<std::pair<int64_t, int64_t>> Samples;
    int64_t Rate;
    bool Stalled;
  } cases[] = {
      {"too short to tell", {{0, 0}, {500, 1000}}, -1, false},
      {"steady", {{0, 0}, {1000, 1000}, {2000, 2000}}, 1000, false},
      {"a fast start is forgotten",
       {{0, 0}, {1000, 1000000}, {12000, 1000000}, {13000, 1001000}},
       1000 * 1000 / 12000,
       false},
      {"nothing for five seconds", {{0, 0}, {1000, 500}, {6000, 500}}, 83, true},
      {"moving again", {{0, 0}, {1000, 500}, {6000, 500}, {6500, 900}}, 138, false},
      {"a new batch starts over", {{0, 5000}, {1000, 6000}, {2000, 10}, {3000, 1010}}, 1000, false},
  };
  for (const auto& c : cases) {
    TRateWindow window;
    for (const auto& [tick, bytes] : c.Samples) window.Add(tick, bytes);
    EXPECT_EQ(window.Rate(), c.Rate) << c.Name;
    EXPECT_EQ(window.Stalled(), c.Stalled) << c.Name;
  }
}

TEST(ProgressTexts, AFinishedDownloadTakesTheListedDateToTheSecond) {
  const std::string path = ::testing::TempDir() + "pelmar-date-" + std::to_string(::getpid());
  test::WriteFile(path, "x");
  const TDateTime listed = DateTimeFromTimeT(1579089601);  // an odd second
  ASSERT_TRUE(SetFileDate(path, listed));
  struct stat info {};
  ::stat(path.c_str(), &info);
  EXPECT_EQ(info.st_mtime, 1579089601) << "no rounding to two seconds";
  ::unlink(path.c_str());
  EXPECT_FALSE(SetFileDate(path, listed)) << "a file that is gone is not made again";
}

}  // namespace
}  // namespace pelmar
