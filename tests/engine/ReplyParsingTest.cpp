#include "engine/Checksums.h"
#include "engine/ReplyParsing.h"

#include <gtest/gtest.h>

#include <vector>

namespace pelmar {
namespace {

// Feeds the segments one by one and collects every line the framer gives.
std::vector<std::string> Lines(const std::vector<std::string>& segments) {
  TReplyFramer framer;
  std::vector<std::string> lines;
  std::string line;
  for (const auto& segment : segments) {
    framer.Append(segment);
    while (framer.NextLine(line) == TReplyFramer::TResult::Line) lines.push_back(line);
  }
  return lines;
}

TEST(ReplyFramer, LineEndsInAnySegmentation) {
  const struct {
    const char* Name;
    std::vector<std::string> Segments;
    std::vector<std::string> Lines;
  } cases[] = {
      {"crlf", {"220 a\r\n331 b\r\n"}, {"220 a", "331 b"}},
      {"cr at segment end, lf next", {"220 a\r", "\n331 b\r\n"}, {"220 a", "331 b"}},
      {"cr alone at the very end", {"220 a\r"}, {"220 a"}},
      {"bare lf", {"220 a\n331 b\n"}, {"220 a", "331 b"}},
      {"bare cr in the middle", {"220 a\r331 b\r\n"}, {"220 a", "331 b"}},
      {"one byte at a time", {"2", "2", "0", " ", "a", "\r", "\n"}, {"220 a"}},
      {"partial line is kept", {"220 a\r\n33", "1 b\r\n"}, {"220 a", "331 b"}},
      {"empty lines are lines", {"\r\n\r\n"}, {"", ""}},
      {"crlf split after crlf", {"220 a\r\n\r", "\n"}, {"220 a", ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(Lines(c.Segments), c.Lines) << c.Name;
}

TEST(ReplyFramer, UnreadBytesStayForTheNextReader) {
  TReplyFramer framer;
  framer.Append("150 Opening\r\n226 Done\r\n");
  std::string line;
  ASSERT_EQ(framer.NextLine(line), TReplyFramer::TResult::Line);
  EXPECT_EQ(line, "150 Opening");
  EXPECT_EQ(framer.Pending(), 10u);
  ASSERT_EQ(framer.NextLine(line), TReplyFramer::TResult::Line);
  EXPECT_EQ(line, "226 Done");
  EXPECT_EQ(framer.NextLine(line), TReplyFramer::TResult::NeedMore);
}

TEST(ReplyFramer, OverlongLinesAreRefusedWithOrWithoutALineEnd) {
  TReplyFramer open;
  open.Append(std::string(kMaxReplyLine + 1, 'x'));
  std::string line;
  EXPECT_EQ(open.NextLine(line), TReplyFramer::TResult::TooLong);

  TReplyFramer ended;
  ended.Append(std::string(kMaxReplyLine + 1, 'x') + "\r\n");
  EXPECT_EQ(ended.NextLine(line), TReplyFramer::TResult::TooLong);

  TReplyFramer justFits;
  justFits.Append(std::string(kMaxReplyLine, 'x') + "\r\n");
  EXPECT_EQ(justFits.NextLine(line), TReplyFramer::TResult::Line);
}

// The code that ends the reply after feeding the lines in order (0 when none does), and the
// index of the line that ended it.
std::pair<int, int> FinalOf(const std::vector<std::string>& lines) {
  TReplyClassifier classifier;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (int code = classifier.Feed(lines[i])) return {code, static_cast<int>(i)};
  }
  return {0, -1};
}

TEST(ReplyClassifier, WhereARepliesEnds) {
  const struct {
    const char* Name;
    std::vector<std::string> Lines;
    std::pair<int, int> Final;
  } cases[] = {
      {"single line", {"220 Ready"}, {220, 0}},
      {"multi-line", {"220-Welcome", "220-more", "220 Ready"}, {220, 2}},
      {"other code and blank inside multi-line", {"230-Hi", "200 not the end", "230 In"}, {230, 2}},
      {"same code with hyphen inside", {"230-Hi", "230-still", "230 In"}, {230, 2}},
      {"plain text inside multi-line", {"220-Hi", " indented", "text", "220 Ok"}, {220, 3}},
      {"letter inside the code", {"2x0 nope", "220 Ok"}, {220, 1}},
      {"code below 100", {"099 nope", "220 Ok"}, {220, 1}},
      {"code above 599", {"999 nope", "600 nope", "220 Ok"}, {220, 2}},
      {"short line", {"22", "220 Ok"}, {220, 1}},
      {"bare code", {"226"}, {226, 0}},
      {"no final line", {"220-a", "221 other"}, {0, -1}},
      {"empty line", {"", "331 Pass"}, {331, 1}},
  };
  for (const auto& c : cases) EXPECT_EQ(FinalOf(c.Lines), c.Final) << c.Name;
  // How the queue and pelmar-cli read the logged lines: a continuation line is no reply.
  EXPECT_EQ(FinalReplyCode("550-Details follow"), 0);
  EXPECT_EQ(FinalReplyCode("550 No such file"), 550);
}

TEST(EchoedSecret, OnlyThePasswordItselfIsHidden) {
  const struct {
    const char* Line;
    const char* Secret;
    const char* Shown;
  } cases[] = {
      {"530 Login incorrect for p", "p", "530 Login incorrect for ***"},
      {"230 User pelmar logged in, password p accepted", "p",
       "230 User pelmar logged in, password *** accepted"},
      {"530 'p@ss w0rd' refused", "p@ss w0rd", "530 '***' refused"},
      {"331-s3cret s3cret;s3cret", "s3cret", "331-*** ***;***"},
      {"230 Attempting 123 and 1234", "123", "230 Attempting *** and 1234"},
      {"530 530 is not a password", "530", "530 *** is not a password"},
      {"230 Logged in", "", "230 Logged in"},
      {"23", "23", "23"},
  };
  for (const auto& c : cases) EXPECT_EQ(WithoutEchoedSecret(c.Line, c.Secret), c.Shown) << c.Line;
}

TEST(FolderReply, QuotedPaths) {
  const struct {
    const char* Line;
    const char* Path;
  } cases[] = {
      {"257 \"/pub/incoming\" is the current directory", "/pub/incoming"},
      {"257 \"/a \"\"quoted\"\" b\" created", "/a \"quoted\" b"},
      {"257 \"/x\" and \"/y\"", "/x"},
      {"257 \"/no/closing", "/no/closing"},
      {"257 no quotes here", ""},
      {"257 \"\"", ""},
      {"257 \"/ends with doubled\"\"", "/ends with doubled\""},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseFolderReply(c.Line), c.Path) << c.Line;
}

TEST(SizeReport, SizeOfTheFileBeingDownloaded) {
  const struct {
    const char* Line;
    const char* Local;
    std::optional<int64_t> Size;
  } cases[] = {
      {"150 Opening BINARY mode data connection for report.txt (12345 bytes).",
       "/home/u/report.txt", 12345},
      {"150 Opening data connection for README (42 bytes)", "/tmp/readme", 42},
      {"150 Opening for big.iso (5368709120 bytes)", "/d/big.iso", 5368709120LL},
      {"150 Opening for a.txt (  7   BYTES)", "a.txt", 7},
      {"150 Opening for other.txt (12 bytes)", "/tmp/report.txt", std::nullopt},
      {"150 Opening for report.txt (12 kb)", "/tmp/report.txt", std::nullopt},
      {"150 Opening for report.txt (12)", "/tmp/report.txt", std::nullopt},
      {"150 Opening for notes (draft).txt (12 bytes)", "/tmp/notes (draft).txt", 12},
      {"150 Opening for report.txt (bytes)", "/tmp/report.txt", std::nullopt},
      {"150 Opening for report.txt (99999999999999999999 bytes)", "/tmp/report.txt", std::nullopt},
      {"150 Opening data connection.", "/tmp/report.txt", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseSizeReport(c.Line, c.Local), c.Size) << c.Line;

  // SIZE's answer, and the 150 reply's "(N bytes)" whatever file it names (-1: none); a
  // number too large for a byte count is no size.
  const struct {
    const char* Line;
    std::optional<int64_t> Size;
  } sizes[] = {
      {"213 5368709120", 5368709120LL},
      {"213 9223372036854775807\r", 9223372036854775807},
      {"213 9223372036854775808", std::nullopt},
      {"213 -1", std::nullopt},
      {"213 12x", std::nullopt},
      {"213 ", std::nullopt},
  };
  for (const auto& c : sizes) EXPECT_EQ(ParseSizeReply(c.Line), c.Size) << c.Line;
  const struct {
    const char* Line;
    int64_t Size;
  } announced[] = {
      {"150 Opening for x (9223372036854775807 bytes)", 9223372036854775807},
      {"150 Opening for notes (draft).txt (12 bytes)", 12},
      {"150 Opening for x (9223372036854775808 bytes)", -1},
      {"150 Opening for x (-5 bytes)", -1},
      {"150 Opening for x ( bytes)", -1},
  };
  for (const auto& c : announced) EXPECT_EQ(ParseAnnouncedSize(c.Line), c.Size) << c.Line;
}

// A server's checksum is the first hex word exactly as long as the digest (CRC32 may drop leading
// zeros), and only in a positive reply.
TEST(DigestInReply, TheWordOfTheDigestsLength) {
  const std::string sha(64, 'a');
  const struct {
    std::string Reply;
    const char* Algorithm;
    std::optional<std::string> Digest;
  } cases[] = {
      {"213 SHA-256 0-49 " + sha + " name", "SHA-256", sha},
      {"250 " + std::string(32, 'B'), "MD5", std::string(32, 'b')},
      {"213 CRC32 0-9 abcdef name", "CRC32", "00abcdef"},
      {"250 " + sha + "a", "SHA-256", std::nullopt},
      {"550 " + sha, "SHA-256", std::nullopt},
      {"213 " + sha, "SHA-512", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DigestInReply(c.Reply, c.Algorithm), c.Digest) << c.Reply;
  }
}

TEST(PassiveReplies, PortsAndAddressesAsServersWriteThem) {
  const struct {
    const char* Line;
    std::optional<uint16_t> Port;
  } epsv[] = {
      {"229 Entering Extended Passive Mode (|||6446|)", 6446},
      {"229 (|||65535|)", 65535},
      {"229 Entering Extended Passive Mode (|||0|)", std::nullopt},
      {"229 Entering Extended Passive Mode (||6446|)", std::nullopt},
      {"229 Entering Extended Passive Mode (|||6446)", std::nullopt},
      {"229 (1116446)", std::nullopt},
      {"229 (11164461)", std::nullopt},  // a digit cannot delimit the port
      {"229 (|||000065535|)", 65535},
      {"229 (|||65536|)", std::nullopt},
      {"229 (|||99999999999999999999|)", std::nullopt},
  };
  for (const auto& c : epsv) EXPECT_EQ(ParseEpsvReply(c.Line), c.Port) << c.Line;

  const struct {
    const char* Line;
    uint32_t Address;
    uint16_t Port;
  } pasv[] = {
      {"227 Entering Passive Mode (192,168,1,2,19,137)", 0xC0A80102, 19 * 256 + 137},
      {"227 =127,0,0,1,255,255.", 0x7F000001, 65535},
      {"227 Passive (v2) mode (127,0,0,1,0,21)", 0x7F000001, 21},
      {"227 (127,0,0,1,0000255,0)", 0x7F000001, 255 * 256},
  };
  for (const auto& c : pasv) {
    const auto parsed = ParsePasvReply(c.Line);
    ASSERT_TRUE(parsed) << c.Line;
    EXPECT_EQ(parsed->Address, c.Address) << c.Line;
    EXPECT_EQ(parsed->Port, c.Port) << c.Line;
  }
  for (const char* bad :
       {"227 Entering Passive Mode (1,2,3,4,5)", "227 (256,0,0,1,1,1)", "227 (127,0,0,1,0,0)",
        "227 (127,0,0,1,99999999999999999999,1)", "227 Entering Passive Mode", "227"}) {
    EXPECT_FALSE(ParsePasvReply(bad)) << bad;
  }
}

// Facts a server offers but keeps back are asked for; nothing is sent when all come unasked.
TEST(MlstFacts, WhatOptsMlstAsksFor) {
  const std::pair<const char*, const char*> cases[] = {
      {"type*;perm*;size*;modify*;unique*;unix.mode;unix.uid;",
       "type;perm;size;modify;unique;unix.mode;"},
      {"type*;size*;modify*;UNIX.mode*;", ""},
      {"Type*;Size;Modify*;lang;", "Type;Size;Modify;"},
      {"", ""},
  };
  for (const auto& [offered, wanted] : cases)
    EXPECT_EQ(WantedMlstFacts(offered), wanted) << offered;
}

}  // namespace
}  // namespace pelmar
