// Listing lines of the server families beyond Unix and Windows, one row per shape: each gives
// its entry exactly (kind, size, date, name), and lines that only look like one stay unreadable.

#include <gtest/gtest.h>

#include <string>

#include "listing/ListingParser.h"
#include "listing/ListingPass.h"

namespace pelmar {
namespace {

const TDate kToday{2026, 6, 15};

struct TRow {
  const char* Line;
  char Kind;  // '-', 'd', 'l'; 'u' unreadable; 's' skipped (not an entry)
  int64_t Size;
  const char* Modified;  // "YYYY-MM-DD HH:MM" in local time; "" for none
  const char* Name;
};

// clang-format off
const TRow kRows[] = {
  // Unix variants: numeric and day-first dates, localized and Asian months, odd sizes.
  {"-rw-r--r--   1 user  group  1234 3 29 03:26 numeric.txt", '-', 1234, "2026-03-29 03:26", "numeric.txt"},
  {"-rw-r--r--   1 user  group  1234 09-26 2000 dashed.txt", '-', 1234, "2000-09-26 00:00", "dashed.txt"},
  {"-rw-r--r--   1 user  group  1234 09-26 13:45 dashed time.txt", '-', 1234, "2025-09-26 13:45", "dashed time.txt"},
  {"-rw-r--r--   1 user  group  1234 1999/10/12 17:12 slashed", '-', 1234, "1999-10-12 17:12", "slashed"},
  {"-rw-r--r--   1 user  group  1234 24-04-2003 17:12 day first", '-', 1234, "2003-04-24 17:12", "day first"},
  {"-rw-r--r--   1 user  group  1234 2004.07.15 dotted", '-', 1234, "2004-07-15 00:00", "dotted"},
  {"-rw-r--r--   1 user  group  1234 01 oct 2004 day month", '-', 1234, "2004-10-01 00:00", "day month"},
  {"-rw-r--r--   1 user  group  1234 29 Jul 02:27 2014 2014-report", '-', 1234, "2014-07-29 02:27", "2014-report"},
  {"-rw-r--r--   1 user  group  1234 Juli 3 2004 german", '-', 1234, "2004-07-03 00:00", "german"},
  {"-rw-r--r--   1 user  group  1234 Okt. 5 10:30 german dot", '-', 1234, "2025-10-05 10:30", "german dot"},
  {"-rw-r--r--   1 user  group  1234 3. Jan. 2004 german day", '-', 1234, "2004-01-03 00:00", "german day"},
  {"-rw-r--r--   1 user  group  1234 f\xC3\xA9vr. 12 2004 french", '-', 1234, "2004-02-12 00:00", "french"},
  {"-rw-r--r--   1 user  group  1234 szept 30 2004 hungarian", '-', 1234, "2004-09-30 00:00", "hungarian"},
  {"-rw-r--r--   1 user  group  1234 M\xC3\xA4r 30 2004 umlaut", '-', 1234, "2004-03-30 00:00", "umlaut"},
  {"-rw-r--r--   1 user  group  1234 12\xE6\x9C\x88 15\xE6\x97\xA5 10:30 japanese", '-', 1234, "2025-12-15 10:30", "japanese"},
  {"-rw-r--r--   1 user  group  1234 5\xEC\x9B\x94 12 2003 korean", '-', 1234, "2003-05-12 00:00", "korean"},
  {"-rw-r--r--   1 user  group  1234 5\xB7\xEE 12 2003 euc-jp", '-', 1234, "2003-05-12 00:00", "euc-jp"},
  {"-rw-r--r--   1 user  group  1234 2003\xE5\xB9\xB4" "4\xE6\x9C\x88" "5\xE6\x97\xA5 10:30 chinese", '-', 1234, "2003-04-05 10:30", "chinese"},
  {"-rw-r--r--   1 user  group  33.5k Jan 15 2004 suffixed", '-', 34304, "2004-01-15 00:00", "suffixed"},
  {"-rw-r--r--   1 user  longgroup123456 Jan 15 2004 glued", '-', 123456, "2004-01-15 00:00", "glued"},
  {"-rw-r--r--   1 user  group  1234 Oct 08, 2002 09:47 vshell", '-', 1234, "2002-10-08 09:47", "vshell"},
  {"-rw-r--r--   1 user  group  1234 Jan 15 24:00 midnight", '-', 1234, "2026-01-16 00:00", "midnight"},
  {"drwxr-xr-x   1 user  group  0 folder without date", 'd', 0, "", "folder without date"},
  // Numeric: octal mode, user and group ids, size, epoch.
  {"0100644 500 101 12345 1579089600 numeric mode.bin", '-', 12345, "2020-01-15 12:00", "numeric mode.bin"},
  {"040755 0 0 4096 1579089600 sub", 'd', 0, "2020-01-15 12:00", "sub"},
  // DOS/IIS with the year first, and grouped sizes.
  {"2002-09-02  18:48       <DIR>          year first", 'd', 0, "2002-09-02 18:48", "year first"},
  {"09-02-2002  06:48PM            9,730 grouped.txt", '-', 9730, "2002-09-02 18:48", "grouped.txt"},
  // EPLF.
  {"+i8388621.44468,m1579089600,r,s10376,\tRFCEPLF", '-', 10376, "2020-01-15 12:00", "RFCEPLF"},
  {"+i8388621.29609,m1579089600,/,\tdev", 'd', 0, "2020-01-15 12:00", "dev"},
  // NetWare.
  {"d [R----F--] supervisor            512       Jan 16 18:53    login", 'd', 0, "2026-01-16 18:53", "login"},
  {"- [RWCEAFMS] rhesus             214059       Oct 20  2000    cx.exe", '-', 214059, "2000-10-20 00:00", "cx.exe"},
  // OS/2: years past 99 as 100, 101, ...
  {"     0           DIR   12-18-97   19:04  os2 folder", 'd', 0, "1997-12-18 19:04", "os2 folder"},
  {"  7536  A          07-13-101  20:26  os2.txt", '-', 7536, "2001-07-13 20:26", "os2.txt"},
  // VMS: 512-byte blocks, ".DIR;1" folders, owner and protection.
  {"CII-MANUAL.TEX;1  213/216  29-JAN-1996 03:33:12  [ANONYMOU,ANONYMOUS]   (RWED,RWED,,)", '-', 109056, "1996-01-29 03:33", "CII-MANUAL.TEX;1"},
  {"[.DIR1]SUB.DIR;1        1   1-SEP-2005 09:12:00.50", 'd', 0, "2005-09-01 09:12", "[.DIR1]SUB"},
  {"Directory DISK$USER:[ANONYMOUS]", 's', 0, "", ""},
  {"Total of 2 files, 214/219 blocks.", 's', 0, "", ""},
  // AS/400, both date orders.
  {"QSYS            77824 02/23/00 15:09:55 *DIR QSYS/", 'd', 0, "2000-02-23 15:09", "QSYS"},
  {"QDOC             8192 98/11/10 10:32:35 *FILE  A FILE.TXT", '-', 8192, "1998-11-10 10:32", "A FILE.TXT"},
  // MVS datasets.
  {"Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname", 's', 0, "", ""},
  {"WYOSPT 3420   2003/05/21  1  200  FB      80  8053  PS  INCOMING.RPTBM023.D061704", '-', 0, "2003-05-21 00:00", "INCOMING.RPTBM023.D061704"},
  {"SMS001 3390   **NONE**    1   15  U     6144  6144  PO  MY.LOADLIB", 'd', 0, "", "MY.LOADLIB"},
  {"DISK01 3390   **NONE**    1    1  ?         0     0  ??  NEW.DSN", '-', 0, "", "NEW.DSN"},
  {"Migrated                                                USER.OLD.DATA", '-', 0, "", "USER.OLD.DATA"},
  {"T12345 Tape ARCHIVE.ON.TAPE", '-', 0, "", "ARCHIVE.ON.TAPE"},
  {"Pseudo Directory SUB.LEVEL", 'd', 0, "", "SUB.LEVEL"},
  // MVS PDS members (sizes are lines), z/VM (records times their length), HP NonStop.
  {"Name     VV.MM   Created       Changed      Size  Init   Mod   Id", 's', 0, "", ""},
  {"MEMBER1  01.03 2002/09/12 2002/10/11 09:37    11     8     0 KKK", '-', 0, "2002-10-11 09:37", "MEMBER1"},
  {"PROFILE  EXEC     V         75          2          1 1999-06-16  9:44:41 USER01", '-', 150, "1999-06-16 09:44", "PROFILE.EXEC"},
  {"File         Code             EOF  Last Modification    RWEP", 's', 0, "", ""},
  {"ALTLOG        101          15672  30-Jun-04 14:29:20 255,255 \"NUNU\"", '-', 15672, "2004-06-30 14:29", "ALTLOG"},
  // OS-9 (hexadecimal byte count), VxWorks, Nortel wfFtp, Connect:Enterprise, NetPresenz.
  {"0.0     98/09/10 1425   d-ewrewr    5A     300   CMDS", 'd', 0, "1998-09-10 14:25", "CMDS"},
  {"1.4     03/02/27 0915   ----r-wr    1C     A0F   startup file", '-', 2575, "2003-02-27 09:15", "startup file"},
  {"      1234      JAN-14-2004  14:23:10   vx file.txt", '-', 1234, "2004-01-14 14:23", "vx file.txt"},
  {"       512    Jan-01-1980  00:00:00   SUBDIR   <DIR>", 'd', 0, "1980-01-01 00:00", "SUBDIR"},
  {"nortel.conf       1014196  06/03/04  Thur.   10:20:03", '-', 1014196, "2004-06-03 10:20", "nortel.conf"},
  {"-C--E-----FTP B QUA1I1      18128       41 Aug 12  2004 QUA1I1.X25", '-', 41, "2004-08-12 00:00", "QUA1I1.X25"},
  {"-------r--         326  1391972  1392298 Nov 22  1995 MegaPhone.sit", '-', 1392298, "1995-11-22 00:00", "MegaPhone.sit"},
  {"drwxrwxr-x               folder        2 May 10  1996 network", 'd', 0, "1996-05-10 00:00", "network"},
  // Lines that only look like one of them.
  {"-rw-r--r--   1 user  group  1234 13 29 03:26 month thirteen", 'u', 0, "", ""},
  {"-rw-r--r--   1 user  group  1234 Okt 32 2004 day 32", 'u', 0, "", ""},
  {"+i8388621.44468,m12x,r,\tbad epoch", 'u', 0, "", ""},
  {"+i8388621.44468,m253402300800,r,\tpast 9999", 'u', 0, "", ""},
  {"0100644 500 101 12345 67768040000000000 past 9999", 'u', 0, "", ""},
  {"d [R----F--] supervisor    big   Jan 16 18:53 login", 'u', 0, "", ""},
  {"NAME.TXT;1  213/x  29-JAN-1996 03:33:12", 'u', 0, "", ""},
  {"QSYS            77824 02/30/00 15:09:55 *DIR QSYS/", 'u', 0, "", ""},
  {"this is just a sentence of words", 'u', 0, "", ""},
  // Sizes at the edge of int64_t: the largest that fits reads, one more is unreadable, never
  // a wrapped or negative size.
  {"-rw-r--r-- 111111111111g 4 1 2004 s", 'u', 0, "", ""},
  {"-rw-r--r-- 1 u g 111111111111g Jan 01 2004 huge", 'u', 0, "", ""},
  {"-rw-r--r-- 1 u g 9007199254740991k Jan 01 2004 k", '-', 9223372036854774784, "2004-01-01 00:00", "k"},
  {"-rw-r--r-- 1 u g 9007199254740992k Jan 01 2004 k", 'u', 0, "", ""},
  {"-rw-r--r-- 1 u g 8796093022207M Jan 01 2004 m", '-', 9223372036853727232, "2004-01-01 00:00", "m"},
  {"-rw-r--r-- 1 u g 8796093022208M Jan 01 2004 m", 'u', 0, "", ""},
  {"-rw-r--r-- 1 u g 8589934591.5g Jan 01 2004 g", '-', 9223372036317904896, "2004-01-01 00:00", "g"},
  {"-rw-r--r-- 1 u g 8589934591.9999999999g Jan 01 2004 g", 'u', 0, "", ""},
  {"-rw-r--r-- 1 u g 1.5T Jan 01 2004 t", '-', 1649267441664, "2004-01-01 00:00", "t"},
  {"-rw-r--r-- 1 u g 8388607T Jan 01 2004 t", '-', 9223370937343148032, "2004-01-01 00:00", "t"},
  {"-rw-r--r-- 1 u g 8388608T Jan 01 2004 t", 'u', 0, "", ""},
  {"-rw-r--r-- 1 u 9223372036854775808 Jan 01 2004 no group", 'u', 0, "", ""},
  {"09-02-2002  06:48PM  9,223,372,036,854,775,807 grouped", '-', 9223372036854775807, "2002-09-02 18:48", "grouped"},
  {"09-02-2002  06:48PM  9,223,372,036,854,775,808 grouped", 'u', 0, "", ""},
  {"BIG.DAT;1  18014398509481983  29-JAN-1996 03:33:12", '-', 9223372036854775296, "1996-01-29 03:33", "BIG.DAT;1"},
  {"BIG.DAT;1  18014398509481984  29-JAN-1996 03:33:12", 'u', 0, "", ""},
  {"BIG      DATA     F 1 9223372036854775807 1 1999-06-16  9:44:41 USER01", '-', 9223372036854775807, "1999-06-16 09:44", "BIG.DATA"},
  {"BIG      DATA     F 2 4611686018427387904 1 1999-06-16  9:44:41 USER01", 'u', 0, "", ""},
  {"   99999999999999999999  A  07-13-98  20:26  os2.txt", 'u', 0, "", ""},
  {"ALTLOG  101  99999999999999999999  30-Jun-04 14:29:20 255,255 \"NUNU\"", 'u', 0, "", ""},
};
// clang-format on

TEST(OtherListings, EachFamilysLinesGiveTheirEntries) {
  for (const TRow& row : kRows) {
    SCOPED_TRACE(row.Line);
    const TParsedLine parsed = ParseListingLine(row.Line, kToday);
    if (row.Kind == 'u') {
      EXPECT_EQ(parsed.Kind, TLineKind::Unreadable) << parsed.Item.Name;
      continue;
    }
    if (row.Kind == 's') {
      EXPECT_EQ(parsed.Kind, TLineKind::NotAnEntry);
      continue;
    }
    ASSERT_EQ(parsed.Kind, TLineKind::Entry);
    const TRemoteItem& item = parsed.Item;
    const char kind = (item.Attributes & iaLink) ? 'l' : (item.Attributes & iaFolder) ? 'd' : '-';
    EXPECT_EQ(kind, row.Kind);
    EXPECT_EQ(item.Size, row.Size);
    EXPECT_EQ(item.Modified == 0 ? std::string() : FormatDateTimeMinutes(item.Modified),
              row.Modified);
    EXPECT_EQ(item.Name, row.Name);
  }
}

// A VMS entry whose long name filled its line goes on in the next one.
TEST(OtherListings, AVmsEntryWrappedOntoTwoLines) {
  const std::string text =
      "A-VERY-LONG-FILE-NAME-THAT-FILLS-THE-LINE.TXT;12\r\n"
      "                   4/6   12-JAN-1998 12:34:56  [GROUP,OWNER]  (RWED,RWED,RE,)\r\n"
      "SHORT.TXT;1   1/3   12-JAN-1998 12:34:56  [GROUP,OWNER]  (RWED,RWED,RE,)\r\n";
  std::vector<std::string> names;
  std::vector<int64_t> sizes;
  TListingHooks hooks;
  hooks.AddItem = [&](const TRemoteItem& item) {
    names.push_back(item.Name);
    sizes.push_back(item.Size);
  };
  int unreadable = 0;
  hooks.Log = [&](const std::string&) { ++unreadable; };
  TListingPass pass;
  pass.ListingReceived(text, kToday, hooks);
  EXPECT_EQ(names, (std::vector<std::string>{"A-VERY-LONG-FILE-NAME-THAT-FILLS-THE-LINE.TXT;12",
                                             "SHORT.TXT;1"}));
  EXPECT_EQ(sizes, (std::vector<int64_t>{2048, 512}));
  EXPECT_EQ(unreadable, 0);
}

}  // namespace
}  // namespace pelmar
