// Real listing lines from many servers, each with the entry it must give. The same lines are
// also fed as whole listings, with CR LF and with LF line ends.

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "listing/ListingParser.h"
#include "listing/ListingPass.h"

namespace pelmar {
namespace {

const TDate kToday{2026, 6, 15};

struct TRow {
  const char* Line;
  const char* Kind;  // "-", "d" or "l", then the nine permission letters; "" = not an entry
  int64_t Size;
  const char* Modified;
  const char* Name;
};

// An entry written as "drwxr-xr-x 0 2026-06-15 10:30 name" for comparison.
std::string Describe(const TRemoteItem& item) {
  const char kind = (item.Attributes & iaLink) ? 'l' : (item.Attributes & iaFolder) ? 'd' : '-';
  return std::string(1, kind) + PermissionLetters(item.Attributes) + " " +
         std::to_string(item.Size) + " " + FormatDateTimeMinutes(item.Modified) + " [" + item.Name +
         "]";
}

std::string Expected(const TRow& row) {
  return std::string(row.Kind) + " " + std::to_string(row.Size) + " " + row.Modified + " [" +
         row.Name + "]";
}

// clang-format off
const TRow kCorpus[] = {
  // vsftpd: numeric owner and group, day zero-padded, two blanks before a year.
  {"-rw-r--r--    1 0        0            2827 Feb 05  2026 pyenv-installer", "-rw-r--r--", 2827, "2026-02-05 00:00", "pyenv-installer"},
  {"drwxr-xr-x    5 0        0            4096 Sep 22 04:37 opt", "drwxr-xr-x", 0, "2025-09-22 04:37", "opt"},  // Sep 22 of this year would be months ahead
  {"lrwxrwxrwx    1 0        0               8 May 20  2025 sbin -> usr/sbin", "lrwxrwxrwx", 8, "2025-05-20 00:00", "sbin -> usr/sbin"},
  {"dr-xr-xr-x   84 0        0               0 Dec 05 23:20 proc", "dr-xr-xr-x", 0, "2025-12-05 23:20", "proc"},
  // pyftpdlib: user names, day zero-padded.
  {"-rw-r--r--   1 root     root            3 Jun 06 09:09 a.txt", "-rw-r--r--", 3, "2026-06-06 09:09", "a.txt"},
  {"drwxr-xr-x   2 root     root         4096 Jun 14 23:59 docs", "drwxr-xr-x", 0, "2026-06-14 23:59", "docs"},
  {"-rw-r--r--   1 root     root     5368709120 Jun 01 10:00 big.iso", "-rw-r--r--", 5368709120LL, "2026-06-01 10:00", "big.iso"},  // above 4 GiB
  {"-rw-r--r--   1 root     root     9223372036854775807 Jun 01 10:00 largest", "-rw-r--r--", 9223372036854775807, "2026-06-01 10:00", "largest"},  // all int64_t holds
  // ProFTPD: day padded with a blank, "total" first.
  {"total 8", "", 0, "", ""},
  {"-rw-r--r--   1 ftp      ftp          1024 Mar  5 09:07 file", "-rw-r--r--", 1024, "2026-03-05 09:07", "file"},
  {"drwxr-xr-x   2 ftp      ftp          4096 Jan  1  2020 old", "drwxr-xr-x", 0, "2020-01-01 00:00", "old"},
  // Pure-FTPd: wide id columns, "." and ".." listed.
  {"drwxr-xr-x    2 1000       1000             4096 Jun 10 12:00 .", "drwxr-xr-x", 0, "2026-06-10 12:00", "."},
  {"-rw-r--r--    1 1000       1000               12 Jun 10 12:00 notes.txt", "-rw-r--r--", 12, "2026-06-10 12:00", "notes.txt"},
  // Windows IIS, DOS layout: AM/PM, 24-hour, two- and four-digit years, long sizes.
  {"01-15-98  10:30AM       <DIR>          my folder", "d---------", 0, "1998-01-15 10:30", "my folder"},
  {"01-15-98  01:30PM                 1234 report.txt", "----------", 1234, "1998-01-15 13:30", "report.txt"},
  {"01-15-05  12:30AM                  123 midnight.txt", "----------", 123, "2005-01-15 00:30", "midnight.txt"},
  {"01-15-80  12:05PM                    1 noon.txt", "----------", 1, "1980-01-15 12:05", "noon.txt"},
  {"06-10-2026  13:45       <DIR>           lead blank", "d---------", 0, "2026-06-10 13:45", " lead blank"},
  {"06-01-26  10:00AM          12345678901 huge.bin", "----------", 12345678901LL, "2026-06-01 10:00", "huge.bin"},
  {"06-01-26  10:00AM 09223372036854775807 largest.bin", "----------", 9223372036854775807, "2026-06-01 10:00", "largest.bin"},
  // BusyBox ftpd.
  {"-rw-r--r--    1 0        0              100 Jun 13 10:00 busy", "-rw-r--r--", 100, "2026-06-13 10:00", "busy"},
  // No group column (some NAS boxes and embedded servers).
  {"-rw-r--r--   1 owner      1234 Jun 10 12:00 nogroup.txt", "-rw-r--r--", 1234, "2026-06-10 12:00", "nogroup.txt"},
  // Numeric month followed by the GB2312 month character.
  {"-rw-r--r--   1 user group 1234 3\xD4\xC2 15 10:30 gbfile", "-rw-r--r--", 1234, "2026-03-15 10:30", "gbfile"},
  {"-rw-r--r--   1 user group 1234 12\xD4\xC2 15  2010 gbyear", "-rw-r--r--", 1234, "2010-12-15 00:00", "gbyear"},
  {"-rw-r--r--   1 user group 1234 2010  3\xD4\xC2 15 gbold", "-rw-r--r--", 1234, "2010-03-15 00:00", "gbold"},
  // Blanks in names are kept exactly.
  {"-rw-r--r--   1 u g 5 Jun 10 12:00  leading", "-rw-r--r--", 5, "2026-06-10 12:00", " leading"},
  {"-rw-r--r--   1 u g 5 Jun 10 12:00 inner  name", "-rw-r--r--", 5, "2026-06-10 12:00", "inner  name"},
  {"-rw-r--r--   1 u g 5 Jun 10 12:00 trailing ", "-rw-r--r--", 5, "2026-06-10 12:00", "trailing "},
  {"drwxr-xr-x   2 u g 512 Jan 15 10:30 my folder", "drwxr-xr-x", 0, "2026-01-15 10:30", "my folder"},
  // Names that contain month names or whole dates.
  {"-rw-r--r--   1 u g 5 Feb 10 12:00 Jan report", "-rw-r--r--", 5, "2026-02-10 12:00", "Jan report"},
  {"-rw-r--r--   1 u g 7 Feb 10 12:00 Mar 15 10:30 copy", "-rw-r--r--", 7, "2026-02-10 12:00", "Mar 15 10:30 copy"},
  {"-rw-r--r--   1 Dec 12 9 Feb 10  2019 owner-is-a-month", "-rw-r--r--", 9, "2019-02-10 00:00", "owner-is-a-month"},
  // Symbolic links, with and without a target.
  {"lrwxrwxrwx   1 u g 9 Jun 10 12:00 www -> /home/www", "lrwxrwxrwx", 9, "2026-06-10 12:00", "www -> /home/www"},
  {"lrwxrwxrwx   1 u g 10 Jun 10 12:00 index -> index.html", "lrwxrwxrwx", 10, "2026-06-10 12:00", "index -> index.html"},
  {"lrwxrwxrwx   1 u g 4 Jun 10 12:00 dangling", "lrwxrwxrwx", 4, "2026-06-10 12:00", "dangling"},
  // Device files show "major, minor" where the size would be.
  {"crw-rw-rw-   1 root root 1, 3 Jun 10 12:00 null", "-rw-rw-rw-", 0, "2026-06-10 12:00", "null"},
  {"brw-rw----   1 root disk 8,0 Jun 10 12:00 sda", "-rw-rw----", 0, "2026-06-10 12:00", "sda"},
  // setuid, setgid and sticky letters set no execute bit.
  {"-rwsr-sr-x   1 root root 12345 Jun 10 12:00 sudo", "-rw-r--r-x", 12345, "2026-06-10 12:00", "sudo"},
  {"drwxrwxrwt   2 root root 4096 Jun 10 12:00 tmp", "drwxrwxrw-", 0, "2026-06-10 12:00", "tmp"},
  {"-rwSr--r-T   1 root root 1 Jun 10 12:00 odd", "-rw-r--r--", 1, "2026-06-10 12:00", "odd"},
  // ACL "+" and macOS "@" after the permissions.
  {"-rw-r--r--+  1 u g 10 Jun 10 12:00 acl.txt", "-rw-r--r--", 10, "2026-06-10 12:00", "acl.txt"},
  {"-rw-r--r--@  1 u staff 10 Jun 10 12:00 mac.txt", "-rw-r--r--", 10, "2026-06-10 12:00", "mac.txt"},
  // ISO dates (ls --time-style=long-iso / --full-time).
  {"-rw-r--r-- 1 u g 10 2020-01-15 10:30 iso.txt", "-rw-r--r--", 10, "2020-01-15 10:30", "iso.txt"},
  {"-rw-r--r-- 1 u g 10 2020-01-15 10:30:59.123456789 +0100 full.txt", "-rw-r--r--", 10, "2020-01-15 10:30", "full.txt"},
  // Wide padding and tabs between the fields.
  {"-rw-r--r--    1 owner    group                      123456789 Jun 10 12:00 wide padding", "-rw-r--r--", 123456789, "2026-06-10 12:00", "wide padding"},
  {"-rw-r--r--\t1\towner\tgroup\t42\tJun 10 12:00 tabs", "-rw-r--r--", 42, "2026-06-10 12:00", "tabs"},
  {"-rw-r--r-- 1 o g 7 Jun 10 12:00 an-exactly-eight-byte-aligned-name-x", "-rw-r--r--", 7, "2026-06-10 12:00", "an-exactly-eight-byte-aligned-name-x"},
  // Short lines are entries too.
  {"-rw-r--r-- 1 a b 1 Jan 1 2020 x", "-rw-r--r--", 1, "2020-01-01 00:00", "x"},
  {"-rw-r--r-- 1 a 1 Jun 1 10:00 y", "-rw-r--r--", 1, "2026-06-01 10:00", "y"},
  // A time-form date up to a day ahead stays in this year (clock skew); later ones are last year's.
  {"-rw-r--r--   1 u g 1 Jun 16 08:00 tomorrow", "-rw-r--r--", 1, "2026-06-16 08:00", "tomorrow"},
  {"-rw-r--r--   1 u g 1 Jun 17 08:00 next-week", "-rw-r--r--", 1, "2025-06-17 08:00", "next-week"},
  // Not entries.
  {"", "", 0, "", ""},
  {"   ", "", 0, "", ""},
  {"TOTAL 0", "", 0, "", ""},
};
// clang-format on

// Lines that look like entries but cannot be read.
const char* const kUnreadable[] = {
    "this is not a listing line at all",
    "-rw-r--r-- 1 u g 5 Foo 10 12:00 no-month",
    "-rw-r--r-- 1 u g 5 Feb 30 12:00 impossible-date",
    "-rw-r--r-- 1 u g 5 Feb 10 25:00 impossible-time",
    "-rw-r--r-- 1 u g 5 Feb 10 12:00",
    "01-15-98  10:30AM       <DIR>",
    "01-15-98  13:30PM                 12 bad-half",
    "-rw-r--r-- 1 u g 5x Feb 10 12:00 bad-size",
    // A size one more than int64_t holds, in the common Unix and the classic IIS columns.
    "-rw-r--r-- 1 u g 9223372036854775808 Feb 10 12:00 too-large",
    "01-15-98  01:30PM 99999999999999999999 too-large",
};

TEST(ListingCorpus, EveryLineGivesItsEntry) {
  for (const auto& row : kCorpus) {
    const TParsedLine parsed = ParseListingLine(row.Line, kToday);
    if (*row.Kind == '\0') {
      EXPECT_EQ(parsed.Kind, TLineKind::NotAnEntry) << row.Line;
      continue;
    }
    ASSERT_EQ(parsed.Kind, TLineKind::Entry) << row.Line;
    EXPECT_EQ(Describe(parsed.Item), Expected(row)) << row.Line;
    EXPECT_EQ(parsed.UnixLayout, !std::isdigit(static_cast<unsigned char>(row.Line[0])))
        << row.Line;
  }
}

TEST(ListingCorpus, UnreadableLinesAreReportedAsSuch) {
  for (const char* line : kUnreadable) {
    EXPECT_EQ(ParseListingLine(line, kToday).Kind, TLineKind::Unreadable) << line;
  }
}

TEST(ListingCorpus, AroundNewYear) {
  const struct {
    TDate Today;
    const char* Line;
    const char* Modified;
  } cases[] = {
      {{2027, 1, 2}, "-rw-r--r-- 1 u g 1 Dec 31 23:59 f", "2026-12-31 23:59"},
      {{2027, 1, 2}, "-rw-r--r-- 1 u g 1 Jan 03 10:00 f", "2027-01-03 10:00"},
      {{2027, 1, 2}, "-rw-r--r-- 1 u g 1 Jan 04 10:00 f", "2026-01-04 10:00"},
      {{2026, 12, 31}, "-rw-r--r-- 1 u g 1 Jan 01 00:00 f", "2026-01-01 00:00"},
      {{2026, 12, 31}, "-rw-r--r-- 1 u g 1 Dec 31 23:59 f", "2026-12-31 23:59"},
      {{2027, 1, 1}, "-rw-r--r-- 1 u g 1 Dec 31  2026 f", "2026-12-31 00:00"},
      {{2028, 3, 1}, "-rw-r--r-- 1 u g 1 Feb 29 12:00 f", "2028-02-29 12:00"},
  };
  for (const auto& c : cases) {
    const TParsedLine parsed = ParseListingLine(c.Line, c.Today);
    ASSERT_EQ(parsed.Kind, TLineKind::Entry) << c.Line;
    EXPECT_EQ(FormatDateTimeMinutes(parsed.Item.Modified), c.Modified) << c.Line;
  }
}

// Every corpus row and every unreadable line, as one listing with the given line end.
std::string WholeListing(const char* lineEnd) {
  std::string text;
  for (const auto& row : kCorpus) text += std::string(row.Line) + lineEnd;
  for (const char* line : kUnreadable) text += std::string(line) + lineEnd;
  return text;
}

TEST(ListingCorpus, WholeListingsGiveTheSameEntriesInOrder) {
  std::vector<std::string> expected;
  for (const auto& row : kCorpus) {
    if (*row.Kind != '\0') expected.push_back(Expected(row));
  }
  for (const char* lineEnd : {"\r\n", "\n"}) {
    std::vector<std::string> seen;
    std::vector<std::string> logged;
    int serverErrors = 0;
    TListingHooks hooks;
    hooks.AddItem = [&](const TRemoteItem& item) { seen.push_back(Describe(item)); };
    hooks.Log = [&](const std::string& text) { logged.push_back(text); };
    hooks.ShowServerError = [&] { ++serverErrors; };
    TListingPass pass;
    const auto result = pass.ListingReceived(WholeListing(lineEnd), kToday, hooks);
    EXPECT_EQ(seen, expected) << "line end " << (lineEnd[0] == '\r' ? "CR LF" : "LF");
    EXPECT_EQ(result.Unreadable, static_cast<int>(std::size(kUnreadable)));
    EXPECT_EQ(serverErrors, 1) << "the server error is shown once per listing";
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged.front(), "Unreadable listing line: this is not a listing line at all");
    EXPECT_FALSE(pass.BuildingList);
  }
}

}  // namespace
}  // namespace pelmar
