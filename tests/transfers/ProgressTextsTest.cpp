// The progress window's texts and the date of a finished download.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/Files.h"
#include "transfers/ProgressTexts.h"
#include "transfers/RateWindow.h"

namespace pelmar {
namespace {

TEST(ProgressTexts, TimesRatesAndBytes) {
  const struct {
    int64_t Seconds;
    const char* Text;
  } times[] = {{-1, "0:00"}, {0, "0:00"},     {59, "0:59"},
               {61, "1:01"}, {4500, "75:00"}, {int64_t{1} << 33, "143165576:32"}};
  for (const auto& c : times) EXPECT_EQ(TimeText(c.Seconds), c.Text) << c.Seconds;
  const struct {
    int64_t Rate;
    const char* Text;
  } rates[] = {
      {0, "0 Bytes"},    {1023, "1023 Bytes"},          {1024, "1.00 KB"},
      {1536, "1.50 KB"}, {10485760 / 10, "1024.00 KB"}, {int64_t{5} << 31, "10485760.00 KB"}};
  for (const auto& c : rates) EXPECT_EQ(RateText(c.Rate), c.Text) << c.Rate;
  EXPECT_EQ(BytesCopiedText(700, 1000), "700 of 1,000 bytes copied");
  EXPECT_EQ(BytesCopiedText(3'000'000'000LL, 5'000'000'000LL),
            "3,000,000,000 of 5,000,000,000 bytes copied");
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
