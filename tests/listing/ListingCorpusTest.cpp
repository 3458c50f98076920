// Real listing lines from many servers, each with the entry it must give: Unix and Windows
// servers (also fed as one whole listing), and the families beyond them, one row per shape,
// where lines that only look like one stay unreadable.

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
  // "-", "d" or "l", alone or with the nine permission letters; "" = not an entry, "u" =
  // unreadable.
  const char* Kind;
  int64_t Size;
  const char* Modified;  // "YYYY-MM-DD HH:MM" in local time; "" for none
  const char* Name;
};

// An entry written as "drwxr-xr-x 0 2026-06-15 10:30 [name]" for comparison, with as many
// letters of the kind as `letters`.
std::string Describe(const TRemoteItem& item, size_t letters = 10) {
  const char kind = (item.Attributes & iaLink) ? 'l' : (item.Attributes & iaFolder) ? 'd' : '-';
  return (std::string(1, kind) + PermissionLetters(item.Attributes)).substr(0, letters) + " " +
         std::to_string(item.Size) + " " + FormatDateTimeMinutes(item.Modified) + " [" + item.Name +
         "]";
}

std::string Expected(const TRow& row) {
  return std::string(row.Kind) + " " + std::to_string(row.Size) + " " + row.Modified + " [" +
         row.Name + "]";
}

// clang-format off
const TRow kCorpus[] = {
  // vsftpd (and BusyBox): numeric owner and group, day zero-padded, two blanks before a year.
  {"lrwxrwxrwx    1 0        0               8 May 20  2025 sbin -> usr/sbin", "lrwxrwxrwx", 8, "2025-05-20 00:00", "sbin -> usr/sbin"},
  {"dr-xr-xr-x   84 0        0               0 Dec 05 23:20 proc", "dr-xr-xr-x", 0, "2025-12-05 23:20", "proc"},
  // pyftpdlib: user names, sizes up to all int64_t holds.
  {"-rw-r--r--   1 root     root     9223372036854775807 Jun 01 10:00 largest", "-rw-r--r--", 9223372036854775807, "2026-06-01 10:00", "largest"},
  // ProFTPD: day padded with a blank, "total" first.
  {"total 8", "", 0, "", ""},
  {"-rw-r--r--   1 ftp      ftp          1024 Mar  5 09:07 file", "-rw-r--r--", 1024, "2026-03-05 09:07", "file"},
  // Pure-FTPd: wide id columns, "." and ".." listed.
  {"drwxr-xr-x    2 1000       1000             4096 Jun 10 12:00 .", "drwxr-xr-x", 0, "2026-06-10 12:00", "."},
  // Windows IIS, DOS layout: AM/PM, 24-hour, two- and four-digit years, long sizes.
  {"01-15-98  10:30AM       <DIR>          my folder", "d---------", 0, "1998-01-15 10:30", "my folder"},
  {"01-15-98  01:30PM                 1234 report.txt", "----------", 1234, "1998-01-15 13:30", "report.txt"},
  {"01-15-05  12:30AM                  123 midnight.txt", "----------", 123, "2005-01-15 00:30", "midnight.txt"},
  {"01-15-80  12:05PM                    1 noon.txt", "----------", 1, "1980-01-15 12:05", "noon.txt"},
  {"06-10-2026  13:45       <DIR>           lead blank", "d---------", 0, "2026-06-10 13:45", " lead blank"},
  {"06-01-26  10:00AM 09223372036854775807 largest.bin", "----------", 9223372036854775807, "2026-06-01 10:00", "largest.bin"},
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
  // Names that contain month names or whole dates.
  {"-rw-r--r--   1 u g 5 Feb 10 12:00 Jan report", "-rw-r--r--", 5, "2026-02-10 12:00", "Jan report"},
  {"-rw-r--r--   1 u g 7 Feb 10 12:00 Mar 15 10:30 copy", "-rw-r--r--", 7, "2026-02-10 12:00", "Mar 15 10:30 copy"},
  {"-rw-r--r--   1 Dec 12 9 Feb 10  2019 owner-is-a-month", "-rw-r--r--", 9, "2019-02-10 00:00", "owner-is-a-month"},
  // Names that look like MLSD facts: only "fact=value;" pairs ending in a blank are a facts line.
  {"-rw-r--r--   1 ftp ftp  5 Jan 15  2020 x=y; z", "-rw-r--r--", 5, "2020-01-15 00:00", "x=y; z"},
  {"01-15-20  10:30AM  5 type=file; name", "----------", 5, "2020-01-15 10:30", "type=file; name"},
  {"=x; name", "", 0, "", ""},
  // A symbolic link without a target (vsftpd's above has one).
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
  // Tabs between the fields.
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
  // Lines that look like entries but cannot be read.
  {"this is not a listing line at all", "u", 0, "", ""},
  {"-rw-r--r-- 1 u g 5 Foo 10 12:00 no-month", "u", 0, "", ""},
  {"-rw-r--r-- 1 u g 5 Feb 30 12:00 impossible-date", "u", 0, "", ""},
  {"-rw-r--r-- 1 u g 5 Feb 10 25:00 impossible-time", "u", 0, "", ""},
  {"-rw-r--r-- 1 u g 5 Feb 10 12:00", "u", 0, "", ""},
  {"01-15-98  10:30AM       <DIR>", "u", 0, "", ""},
  {"01-15-98  13:30PM                 12 bad-half", "u", 0, "", ""},
  {"-rw-r--r-- 1 u g 5x Feb 10 12:00 bad-size", "u", 0, "", ""},
  // A size one more than int64_t holds, in the common Unix and the classic IIS columns.
  {"-rw-r--r-- 1 u g 9223372036854775808 Feb 10 12:00 too-large", "u", 0, "", ""},
  {"01-15-98  01:30PM 99999999999999999999 too-large", "u", 0, "", ""},
  {"type=file;size=1name", "u", 0, "", ""},
};
// clang-format on

// clang-format off
const TRow kOtherFamilies[] = {
  // Unix variants: numeric and day-first dates, localized and Asian months, odd sizes.
  {"-rw-r--r--   1 user  group  1234 3 29 03:26 numeric.txt", "-", 1234, "2026-03-29 03:26", "numeric.txt"},
  {"-rw-r--r--   1 user  group  1234 09-26 2000 dashed.txt", "-", 1234, "2000-09-26 00:00", "dashed.txt"},
  {"-rw-r--r--   1 user  group  1234 09-26 13:45 dashed time.txt", "-", 1234, "2025-09-26 13:45", "dashed time.txt"},
  {"-rw-r--r--   1 user  group  1234 1999/10/12 17:12 slashed", "-", 1234, "1999-10-12 17:12", "slashed"},
  {"-rw-r--r--   1 user  group  1234 24-04-2003 17:12 day first", "-", 1234, "2003-04-24 17:12", "day first"},
  {"-rw-r--r--   1 user  group  1234 2004.07.15 dotted", "-", 1234, "2004-07-15 00:00", "dotted"},
  {"-r-xr-xr-x   2 root  root    96 2004.07.15   dotted padded", "-", 96, "2004-07-15 00:00", "dotted padded"},
  {"-rw-r--r--   1 user  group  1234 2004.07.15 10:30 dotted time", "-", 1234, "2004-07-15 10:30", "dotted time"},
  {"-r-xr-xr-x 2 owner group 4512 01-jun-99 named month", "-", 4512, "1999-06-01 00:00", "named month"},
  {"-rw-r--r--   1 user  group  1234 01 oct 2004 day month", "-", 1234, "2004-10-01 00:00", "day month"},
  {"-rw-r--r--   1 user  group  1234 29 Jul 02:27 2014 2014-report", "-", 1234, "2014-07-29 02:27", "2014-report"},
  {"-rw-r--r--   1 user  group  1234 29 Jul 02:27 2014 Invoices", "-", 1234, "2025-07-29 02:27", "2014 Invoices"},
  {"-rw-r--r--   1 user  group  1234 Juli 3 2004 german", "-", 1234, "2004-07-03 00:00", "german"},
  {"-rw-r--r--   1 user  group  1234 Okt. 5 10:30 german dot", "-", 1234, "2025-10-05 10:30", "german dot"},
  {"-rw-r--r--   1 user  group  1234 3. Jan. 2004 german day", "-", 1234, "2004-01-03 00:00", "german day"},
  {"-rw-r--r--   1 user  group  1234 f\xC3\xA9vr. 12 2004 french", "-", 1234, "2004-02-12 00:00", "french"},
  {"-rw-r--r--   1 user  group  1234 szept 30 2004 hungarian", "-", 1234, "2004-09-30 00:00", "hungarian"},
  {"-rw-r--r--   1 user  group  1234 M\xC3\xA4r 30 2004 umlaut", "-", 1234, "2004-03-30 00:00", "umlaut"},
  {"-rw-r--r--   1 user  group  1234 12\xE6\x9C\x88 15\xE6\x97\xA5 10:30 japanese", "-", 1234, "2025-12-15 10:30", "japanese"},
  {"-rw-r--r--   1 user  group  1234 5\xEC\x9B\x94 12 2003 korean", "-", 1234, "2003-05-12 00:00", "korean"},
  {"-rw-r--r--   1 user  group  1234 5\xB7\xEE 12 2003 euc-jp", "-", 1234, "2003-05-12 00:00", "euc-jp"},
  {"-rw-r--r--   1 user  group  1234 2003\xE5\xB9\xB4" "4\xE6\x9C\x88" "5\xE6\x97\xA5 10:30 chinese", "-", 1234, "2003-04-05 10:30", "chinese"},
  {"-rw-r--r--   1 user  group  1234 2003\xC4\xEA 4\xD4\xC2 5\xC8\xD5 gb2312", "-", 1234, "2003-04-05 00:00", "gb2312"},
  {"-rw-r--r--   1 user  group  1234 2003\xB3\xE2 5\xBF\xF9 12\xC0\xCF 10:30 euc-kr", "-", 1234, "2003-05-12 10:30", "euc-kr"},
  {"-rw-r--r--   1 user  group     0 2003   3\xA4\xEB 20 big5 year", "-", 0, "2003-03-20 00:00", "big5 year"},
  {"-rw-r--r--   1 user  group  2096 8\xA4\xEB 17 08:52 big5 recent", "-", 2096, "2025-08-17 08:52", "big5 recent"},
  {"-rw-r--r--   1 user  group  33.5k Jan 15 2004 suffixed", "-", 34304, "2004-01-15 00:00", "suffixed"},
  {"-rw-r--r--   1 user  longgroup123456 Jan 15 2004 glued", "-", 123456, "2004-01-15 00:00", "glued"},
  {"-rw-r--r--   1 user  group  1234 Oct 08, 2002 09:47 vshell", "-", 1234, "2002-10-08 09:47", "vshell"},
  {"-rw-r--r--   1 user  group  1234 Jan 15 24:00 midnight", "-", 1234, "2026-01-16 00:00", "midnight"},
  {"drwxr-xr-x   1 user  group  0 folder without date", "d", 0, "", "folder without date"},
  // VShell's older layout: no permissions, a folder's name ends in "/".
  {"206876  Apr 04, 2000 21:06 vshell file", "-", 206876, "2000-04-04 21:06", "vshell file"},
  {"0  Dec 12, 2002 02:13 vshell dir/", "d", 0, "2002-12-12 02:13", "vshell dir"},
  // Numeric: octal mode, user and group ids, size, epoch.
  {"0100644 500 101 12345 1579089600 numeric mode.bin", "-", 12345, "2020-01-15 12:00", "numeric mode.bin"},
  {"040755 0 0 4096 1579089600 sub", "d", 0, "2020-01-15 12:00", "sub"},
  // DOS/IIS with the year first, and grouped sizes.
  {"2002-09-02  18:48       <DIR>          year first", "d", 0, "2002-09-02 18:48", "year first"},
  {"09-02-2002  06:48PM            9,730 grouped.txt", "-", 9730, "2002-09-02 18:48", "grouped.txt"},
  // EPLF.
  {"+i8388621.44468,m1579089600,r,s10376,\tRFCEPLF", "-", 10376, "2020-01-15 12:00", "RFCEPLF"},
  {"+i8388621.29609,m1579089600,/,\tdev", "d", 0, "2020-01-15 12:00", "dev"},
  // NetWare.
  {"d [R----F--] supervisor            512       Jan 16 18:53    login", "d", 0, "2026-01-16 18:53", "login"},
  {"- [RWCEAFMS] rhesus             214059       Oct 20  2000    cx.exe", "-", 214059, "2000-10-20 00:00", "cx.exe"},
  // OS/2: years past 99 as 100, 101, ...
  {"     0           DIR   12-18-97   19:04  os2 folder", "d", 0, "1997-12-18 19:04", "os2 folder"},
  {"  7536  A          07-13-101  20:26  os2.txt", "-", 7536, "2001-07-13 20:26", "os2.txt"},
  // VMS: 512-byte blocks, ".DIR;1" folders, owner and protection.
  {"CII-MANUAL.TEX;1  213/216  29-JAN-1996 03:33:12  [ANONYMOU,ANONYMOUS]   (RWED,RWED,,)", "-", 109056, "1996-01-29 03:33", "CII-MANUAL.TEX;1"},
  {"[.DIR1]SUB.DIR;1        1   1-SEP-2005 09:12:00.50", "d", 0, "2005-09-01 09:12", "[.DIR1]SUB"},
  // ... without a time, in bytes with a unit, with hundredths, and the owner before the size.
  {"NOTIME.TXT;1    2/8    15-JAN-2000    [IV2_XXX]   (RWED,RWED,RE,)", "-", 1024, "2000-01-15 00:00", "NOTIME.TXT;1"},
  {"UNIT.TXT;1  2KB  12-JAN-1998 12:34:56  [GROUP,OWNER]  (RWED,RWED,RE,)", "-", 2048, "1998-01-12 12:34", "UNIT.TXT;1"},
  {"FRACTION.TXT;1  10  2-JUL-2003 10:30:08.59  [FTP_CLIENT,SCOT]  (RWED,RWED,RE,)", "-", 5120, "2003-07-02 10:30", "FRACTION.TXT;1"},
  {"ORDER.TXT;1   [SUMMARY]    4/6     2-AUG-2006 13:05  (RWE,RWE,RE,)", "-", 2048, "2006-08-02 13:05", "ORDER.TXT;1"},
  {"DATEFIRST.TXT;1       17-JUN-1994 17:25:37     6308/13     (RWED,RWED,R,)", "-", 3229696, "1994-06-17 17:25", "DATEFIRST.TXT;1"},
  {"TWODATES.TXT;1   17-JUN-1994   18-JUN-1994   (RWED,RWED,R,)", "u", 0, "", ""},
  {"Directory DISK$USER:[ANONYMOUS]", "", 0, "", ""},
  {"Total of 2 files, 214/219 blocks.", "", 0, "", ""},
  // AS/400, both date orders.
  {"QSYS            77824 02/23/00 15:09:55 *DIR QSYS/", "d", 0, "2000-02-23 15:09", "QSYS"},
  {"QDOC             8192 98/11/10 10:32:35 *FILE  A FILE.TXT", "-", 8192, "1998-11-10 10:32", "A FILE.TXT"},
  // ... day first, when the first part is no month and a year there cannot be (day 00, the future).
  {"QSYS            77824 23/02/00 15:09:55 *FILE DAY.FIRST", "-", 77824, "2000-02-23 15:09", "DAY.FIRST"},
  {"CFT             36864 28/11/15 15:19:30 *FILE NOT.2028", "-", 36864, "2015-11-28 15:19", "NOT.2028"},
  // ... dotted, day first as where dots are the separator.
  {"QSYS            77824 18.09.06 15:09:55 *DIR DOTTED/", "d", 0, "2006-09-18 15:09", "DOTTED"},
  // MVS datasets.
  {"Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname", "", 0, "", ""},
  {"WYOSPT 3420   2003/05/21  1  200  FB      80  8053  PS  INCOMING.RPTBM023.D061704", "-", 0, "2003-05-21 00:00", "INCOMING.RPTBM023.D061704"},
  {"SMS001 3390   **NONE**    1   15  U     6144  6144  PO  MY.LOADLIB", "d", 0, "", "MY.LOADLIB"},
  {"DISK01 3390   **NONE**    1    1  ?         0     0  ??  NEW.DSN", "-", 0, "", "NEW.DSN"},
  {"Migrated                                                USER.OLD.DATA", "-", 0, "", "USER.OLD.DATA"},
  {"T12345 Tape ARCHIVE.ON.TAPE", "-", 0, "", "ARCHIVE.ON.TAPE"},
  {"Pseudo Directory SUB.LEVEL", "d", 0, "", "SUB.LEVEL"},
  // ... VSAM clusters, extents and tracks run together or not known ("????") or too many ("++++"),
  // no unit column (newer systems); never a byte size, only tracks and record sizes are listed.
  {"TSO004 3390   VSAM VSAM.CLUSTER", "-", 0, "", "VSAM.CLUSTER"},
  {"                                                   VSAM DDIR", "-", 0, "", "DDIR"},
  {"TSO005 3390   2005/06/06 213000 U 0 27998 PO LOAD.LIB", "d", 0, "2005-06-06 00:00", "LOAD.LIB"},
  {"DISK01 3390   2003/05/21 ????  ????  FB      80  8053  PS  NOT.KNOWN", "-", 0, "2003-05-21 00:00", "NOT.KNOWN"},
  {"DISK01 3390   2003/05/21  1 ++++  VBS  32767 27966  PS  MANY.TRACKS", "-", 0, "2003-05-21 00:00", "MANY.TRACKS"},
  {"YNSABH 3390   2022/02/18  1+++++  VBS  32767 27966  PS  RUN.TOGETHER", "-", 0, "2022-02-18 00:00", "RUN.TOGETHER"},
  {"CPDLB1 2008/11/11 1 2 FB 80 3120 PO ISPF.ISPPROF", "d", 0, "2008-11-11 00:00", "ISPF.ISPPROF"},
  // MVS PDS members (sizes are lines), z/VM (records times their length), HP NonStop.
  {"Name     VV.MM   Created       Changed      Size  Init   Mod   Id", "", 0, "", ""},
  {"MEMBER1  01.03 2002/09/12 2002/10/11 09:37    11     8     0 KKK", "-", 0, "2002-10-11 09:37", "MEMBER1"},
  {"PROFILE  EXEC     V         75          2          1 1999-06-16  9:44:41 USER01", "-", 150, "1999-06-16 09:44", "PROFILE.EXEC"},
  {"File         Code             EOF  Last Modification    RWEP", "", 0, "", ""},
  {"ALTLOG        101          15672  30-Jun-04 14:29:20 255,255 \"NUNU\"", "-", 15672, "2004-06-30 14:29", "ALTLOG"},
  // OS-9 (hexadecimal byte count), VxWorks, Nortel wfFtp, Connect:Enterprise, NetPresenz.
  {"0.0     98/09/10 1425   d-ewrewr    5A     300   CMDS", "d", 0, "1998-09-10 14:25", "CMDS"},
  {"1.4     03/02/27 0915   ----r-wr    1C     A0F   startup file", "-", 2575, "2003-02-27 09:15", "startup file"},
  {"      1234      JAN-14-2004  14:23:10   vx file.txt", "-", 1234, "2004-01-14 14:23", "vx file.txt"},
  {"       512    Jan-01-1980  00:00:00   SUBDIR   <DIR>", "d", 0, "1980-01-01 00:00", "SUBDIR"},
  {"nortel.conf       1014196  06/03/04  Thur.   10:20:03", "-", 1014196, "2004-06-03 10:20", "nortel.conf"},
  {"a=b.conf          1014196  06/03/04  Thur.   10:20:03", "-", 1014196, "2004-06-03 10:20", "a=b.conf"},
  {"-C--E-----FTP B QUA1I1      18128       41 Aug 12  2004 QUA1I1.X25", "-", 41, "2004-08-12 00:00", "QUA1I1.X25"},
  {"-------r--         326  1391972  1392298 Nov 22  1995 MegaPhone.sit", "-", 1392298, "1995-11-22 00:00", "MegaPhone.sit"},
  {"drwxrwxr-x               folder        2 May 10  1996 network", "d", 0, "1996-05-10 00:00", "network"},
  // Lines that only look like one of them.
  {"-rw-r--r--   1 user  group  1234 13 29 03:26 month thirteen", "u", 0, "", ""},
  {"-rw-r--r--   1 user  group  1234 Okt 32 2004 day 32", "u", 0, "", ""},
  {"+i8388621.44468,m12x,r,\tbad epoch", "u", 0, "", ""},
  {"+i8388621.44468,m253402300800,r,\tpast 9999", "u", 0, "", ""},
  {"0100644 500 101 12345 67768040000000000 past 9999", "u", 0, "", ""},
  {"d [R----F--] supervisor    big   Jan 16 18:53 login", "u", 0, "", ""},
  {"NAME.TXT;1  213/x  29-JAN-1996 03:33:12", "u", 0, "", ""},
  {"QSYS            77824 02/30/00 15:09:55 *DIR QSYS/", "u", 0, "", ""},
  {"QSYS            77824 32.13.06 15:09:55 *FILE NO.DATE", "u", 0, "", ""},
  {"206876  Apr 04 2000 21:06 no comma", "u", 0, "", ""},
  {"206876  Apr 31, 2000 21:06 no such day", "u", 0, "", ""},
  {"0  Dec 12, 2002 02:13 /", "u", 0, "", ""},
  {"-rw-r--r--   1 user  group  1234 31-jun-99 no such day", "u", 0, "", ""},
  {"-rw-r--r--   1 user  group  1234 2004.13.15 month thirteen", "u", 0, "", ""},
  {"-rw-r--r--   1 user  group  1234 2003\xC4\xEA 13\xD4\xC2 5\xC8\xD5 month thirteen", "u", 0, "", ""},
  {"NAME.TXT;1  2  12-JAN-1998 25:00:00", "u", 0, "", ""},
  {"NAME.TXT;1  2XB  12-JAN-1998 12:00", "u", 0, "", ""},
  {"NAME.TXT;1  [GROUP,OWNER  2  12-JAN-1998 12:00", "u", 0, "", ""},
  {"DISK01 3390   2003/05/21 1?+  200  FB  80  8053  PS  BAD.EXTENTS", "u", 0, "", ""},
  {"DISK01 3390   2003/05/21  1  200  80  80  8053  PS  NUMERIC.RECFM", "u", 0, "", ""},
  {"VSAM two names", "u", 0, "", ""},
  {"this is just a sentence of words", "u", 0, "", ""},
  // Sizes at the edge of int64_t: the largest that fits reads, one more is unreadable, never
  // a wrapped or negative size.
  {"-rw-r--r-- 111111111111g 4 1 2004 s", "u", 0, "", ""},
  {"-rw-r--r-- 1 u g 9007199254740991k Jan 01 2004 k", "-", 9223372036854774784, "2004-01-01 00:00", "k"},
  {"-rw-r--r-- 1 u g 8796093022207M Jan 01 2004 m", "-", 9223372036853727232, "2004-01-01 00:00", "m"},
  {"-rw-r--r-- 1 u g 8589934591.5g Jan 01 2004 g", "-", 9223372036317904896, "2004-01-01 00:00", "g"},
  {"-rw-r--r-- 1 u g 8589934591.9999999999g Jan 01 2004 g", "u", 0, "", ""},
  {"-rw-r--r-- 1 u g 1.5T Jan 01 2004 t", "-", 1649267441664, "2004-01-01 00:00", "t"},
  {"-rw-r--r-- 1 u g 8388608T Jan 01 2004 t", "u", 0, "", ""},
  {"-rw-r--r-- 1 u 9223372036854775808 Jan 01 2004 no group", "u", 0, "", ""},
  {"09-02-2002  06:48PM  9,223,372,036,854,775,807 grouped", "-", 9223372036854775807, "2002-09-02 18:48", "grouped"},
  {"09-02-2002  06:48PM  9,223,372,036,854,775,808 grouped", "u", 0, "", ""},
  {"BIG.DAT;1  18014398509481983  29-JAN-1996 03:33:12", "-", 9223372036854775296, "1996-01-29 03:33", "BIG.DAT;1"},
  {"BIG.DAT;1  18014398509481984  29-JAN-1996 03:33:12", "u", 0, "", ""},
  {"BIG      DATA     F 1 9223372036854775807 1 1999-06-16  9:44:41 USER01", "-", 9223372036854775807, "1999-06-16 09:44", "BIG.DATA"},
  {"BIG      DATA     F 2 4611686018427387904 1 1999-06-16  9:44:41 USER01", "u", 0, "", ""},
  {"   99999999999999999999  A  07-13-98  20:26  os2.txt", "u", 0, "", ""},
  {"ALTLOG  101  99999999999999999999  30-Jun-04 14:29:20 255,255 \"NUNU\"", "u", 0, "", ""},
};
// clang-format on

// The entry a row's line gives, or that it gives none.
void ExpectEntry(const TRow& row) {
  SCOPED_TRACE(row.Line);
  const TParsedLine parsed = ParseListingLine(row.Line, kToday);
  const std::string kind = row.Kind;
  if (kind.empty() || kind == "u") {
    EXPECT_EQ(parsed.Kind, kind.empty() ? TLineKind::NotAnEntry : TLineKind::Unreadable)
        << parsed.Item.Name;
    return;
  }
  ASSERT_EQ(parsed.Kind, TLineKind::Entry);
  EXPECT_EQ(Describe(parsed.Item, kind.size()), Expected(row));
}

TEST(ListingCorpus, EveryLineGivesItsEntry) {
  for (const auto& row : kCorpus) {
    ExpectEntry(row);
    if (*row.Kind && *row.Kind != 'u') {
      EXPECT_EQ(ParseListingLine(row.Line, kToday).UnixLayout,
                !std::isdigit(static_cast<unsigned char>(row.Line[0])))
          << row.Line;
    }
  }
}

TEST(OtherListings, EachFamilysLinesGiveTheirEntries) {
  for (const auto& row : kOtherFamilies) ExpectEntry(row);
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

// Every corpus row, as one listing: the same entries in order. (Line ends are the pass's test.)
TEST(ListingCorpus, AWholeListingGivesTheSameEntriesInOrder) {
  std::vector<std::string> expected;
  int unreadable = 0;
  std::string listing;
  for (const auto& row : kCorpus) {
    if (*row.Kind == 'u') ++unreadable;
    if (*row.Kind && *row.Kind != 'u') expected.push_back(Expected(row));
    listing += std::string(row.Line) + "\r\n";
  }
  std::vector<std::string> seen;
  std::vector<std::string> logged;
  int serverErrors = 0;
  TListingHooks hooks;
  hooks.AddItem = [&](const TRemoteItem& item) { seen.push_back(Describe(item)); };
  hooks.Log = [&](const std::string& text) { logged.push_back(text); };
  hooks.ShowServerError = [&] { ++serverErrors; };
  TListingPass pass;
  const auto result = pass.ListingReceived(listing, kToday, hooks);
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(result.Unreadable, unreadable);
  EXPECT_EQ(serverErrors, 1) << "the server error is shown once per listing";
  ASSERT_FALSE(logged.empty());
  EXPECT_EQ(logged.front(), "Unreadable listing line: this is not a listing line at all");
  EXPECT_FALSE(pass.BuildingList);
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
