// MLSD lines as real servers send them (pyftpdlib, ProFTPD, Pure-FTPd), and broken ones: each
// gives its entry exactly, is skipped (the folder itself, its parent), or is unreadable. (Unix and
// DOS lines with "=" and ";" in their names are rows of the listing corpus.)

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "listing/FactsLine.h"
#include "listing/ListingParser.h"
#include "platform/AsciiText.h"
#include "platform/DateTime.h"

namespace pelmar {
namespace {

struct TCase {
  const char* Line;
  const char* Kind;  // "-", "d", "l" with the permission letters; "skip"; "unreadable"
  int64_t Size;
  std::time_t Modified;  // UTC seconds; 0 when the line gives no time
  const char* Name;
};

// clang-format off
const TCase kCases[] = {
  // pyftpdlib: no unix.mode, links followed (a link to a file is listed as that file).
  {"modify=20200115120000;perm=radfwMT;size=4;type=file;unique=fe00gac03b9;  leading blank",
   "----------", 4, 1579089600, " leading blank"},
  {"modify=20200115120000;perm=eldfmMTcp;size=4096;type=dir;unique=fe00gac239f; sub folder",
   "d---------", 0, 1579089600, "sub folder"},
  {"modify=20200115120000.250;perm=radfwMT;size=5;type=file; trailing blank ",
   "----------", 5, 1579089600, "trailing blank "},
  // ... and its unix.mode when asked for (OPTS MLST), written the way Python prints octal.
  {"modify=20200115120000;perm=radfwMT;size=6;type=file;unix.mode=0o644; hello.txt",
   "-rw-r--r--", 6, 1579089600, "hello.txt"},
  // ProFTPD: upper-case Unix facts, links without their target.
  {"modify=20200115120000;perm=flcdmpe;type=cdir;unique=FE00UAC03B8;UNIX.mode=0755; .",
   "skip", 0, 0, ""},
  {"modify=20200115120000;perm=flcdmpe;type=pdir;UNIX.mode=0755; ..", "skip", 0, 0, ""},
  {"modify=20200115120000;perm=adfrw;size=8;type=file;UNIX.group=0;UNIX.mode=0644;"
   "UNIX.owner=0; na\xC3\xAFve \xCE\xA9mega.txt",
   "-rw-r--r--", 8, 1579089600, "na\xC3\xAFve \xCE\xA9mega.txt"},
  {"modify=20200115120000;perm=adfrw;size=10;type=OS.unix=symlink;UNIX.mode=0777; link",
   "lrwxrwxrwx", 10, 1579089600, "link"},
  // Pure-FTPd: facts in another order, a link's target when it has one.
  {"type=dir;sizd=4096;modify=20200115120000;UNIX.mode=0777;UNIX.uid=0; sub folder",
   "drwxrwxrwx", 0, 1579089600, "sub folder"},
  {"type=OS.unix=slink:;size=10;modify=20200115120000;UNIX.mode=0777; link",
   "lrwxrwxrwx", 10, 1579089600, "link"},
  {"type=OS.unix=slink:/pub/real;modify=20200115120000;UNIX.mode=0777; ln",
   "lrwxrwxrwx", 0, 1579089600, "ln -> /pub/real"},
  // Names are whole: " -> " in a file's name is no link; "=" and ";" are part of a name.
  {"type=file;size=1; a -> b", "----------", 1, 0, "a -> b"},
  {"Type=FILE;Size=5000000000;Modify=20200115120000; big;name=x.bin",
   "----------", 5000000000, 1579089600, "big;name=x.bin"},
  {"type=file;size=9223372036854775807;modify=20200115120000; largest", "----------",
   9223372036854775807, 1579089600, "largest"},
  {"type=OS.unix=chr-13/29;modify=20200115120000; tty0", "----------", 0, 1579089600, "tty0"},
  // Everything after the first blank is the name, tabs and blanks around it included; a tab may
  // end the facts, and some servers leave out their last ";" (known facts only, then).
  {"type=file;size=5; \t around \t ", "----------", 5, 0, "\t around \t "},
  {"type=file;size=5;\ttab before", "----------", 5, 0, "tab before"},
  {"type=file;size=5;\tx=y; z", "----------", 5, 0, "x=y; z"},
  {"type=file;size=5;modify=20200115120000 no semicolon", "----------", 5, 1579089600, "no semicolon"},
  {"color=red;size=5 unknown fact", "unreadable", 0, 0, ""},
  {"type=file;size=5x no semicolon", "unreadable", 0, 0, ""},
  // A fact that does not read spoils the line: no made-up size or date, no empty name.
  {"type=file;size=12x; f", "unreadable", 0, 0, ""},
  {"type=file;size=-1; f", "unreadable", 0, 0, ""},
  {"type=file;size=9223372036854775808; f", "unreadable", 0, 0, ""},
  {"type=file;modify=20201345000000; f", "unreadable", 0, 0, ""},
  {"type=file;modify=2020011512; f", "unreadable", 0, 0, ""},
  {"type=file;UNIX.mode=0999; f", "unreadable", 0, 0, ""},
  {"type=file;unix.mode=0o; f", "unreadable", 0, 0, ""},
  {"type=file;size=1; ", "unreadable", 0, 0, ""},
};
// clang-format on

TEST(FactsLine, EntriesOfRealServersAndBrokenLines) {
  for (const TCase& c : kCases) {
    SCOPED_TRACE(c.Line);
    const TParsedLine parsed = ParseListingLine(c.Line, TDate{2026, 6, 15});
    const std::string kind = c.Kind;
    if (kind == "skip") {
      EXPECT_EQ(parsed.Kind, TLineKind::NotAnEntry);
      continue;
    }
    if (kind == "unreadable") {
      EXPECT_EQ(parsed.Kind, TLineKind::Unreadable);
      continue;
    }
    ASSERT_EQ(parsed.Kind, TLineKind::Entry);
    const TRemoteItem& item = parsed.Item;
    const char type = (item.Attributes & iaLink) ? 'l' : (item.Attributes & iaFolder) ? 'd' : '-';
    EXPECT_EQ(std::string(1, type) + PermissionLetters(item.Attributes), kind);
    EXPECT_EQ(item.Size, c.Size);
    EXPECT_EQ(item.Name, c.Name);
    EXPECT_EQ(TimeTFromDateTime(item.Modified),
              c.Modified == 0 ? TimeTFromDateTime(0) : c.Modified);
    if (c.Modified == 0) {
      EXPECT_EQ(FormatDateTimeMinutes(item.Modified), "") << "not known, never 1899-12-30";
    }
    EXPECT_EQ(parsed.UnixLayout, AsciiLower(c.Line).find("unix.mode") != std::string::npos);
  }
}

}  // namespace
}  // namespace pelmar
