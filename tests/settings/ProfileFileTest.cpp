#include "platform/ProfileFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "settings/SettingsFixture.h"
#include "support/Files.h"

namespace pelmar::test {
namespace {

class ProfileFileTest : public SettingsTest {
 protected:
  void SetUp() override {
    SettingsTest::SetUp();
    Path = Home + "test.ini";
  }
  TProfileFile Loaded(const std::string& content) {
    WriteFile(Path, content);
    TProfileFile file(Path);
    EXPECT_TRUE(file.Load());
    return file;
  }
  std::string Path;
};

TEST_F(ProfileFileTest, ReadingRules) {
  const TProfileFile file = Loaded(
      "; comment\r\n[General]\r\nName=  padded value  \r\nQuoted=\"  kept  \"\r\n"
      "Single='x'\r\nHalf=\"open\r\nEmpty=\r\nHex=0x1F\r\nHexUpper=0XFF\r\nBad=12abc\r\n"
      "Zero=0\r\nNegative=-5\r\nOnly0x=0x\r\nLong=" +
      std::string(2000, 'L') +
      "\r\n"
      "  Spaced Key  =  v  \r\n[other]\r\nName=other\r\n");
  const struct {
    const char* Section;
    const char* Key;
    std::string Expected;
  } strings[] = {
      {"General", "Name", "padded value"},
      {"general", "NAME", "padded value"},  // names are found without regard to case
      {"General", "Quoted", "  kept  "},    // one pair of quotes removed, the inside kept
      {"General", "Single", "x"},
      {"General", "Half", "\"open"},
      {"General", "Empty", ""},
      {"General", "Missing", "fallback"},
      {"General", "Spaced Key", "v"},
      {"Other", "Name", "other"},
      {"General", "Long", std::string(1023, 'L')},
  };
  for (const auto& c : strings) {
    EXPECT_EQ(file.ReadString(c.Section, c.Key, "fallback"), c.Expected) << c.Key;
  }
  const struct {
    const char* Key;
    int64_t Expected;
  } integers[] = {{"Hex", 31},      {"HexUpper", 255}, {"Bad", 7},     {"Zero", 0},
                  {"Negative", -5}, {"Only0x", 7},     {"Missing", 7}, {"Name", 7}};
  for (const auto& c : integers)
    EXPECT_EQ(file.ReadInteger("General", c.Key, 7), c.Expected) << c.Key;
  EXPECT_FALSE(file.ReadBool("General", "Zero", true));
  EXPECT_TRUE(file.ReadBool("General", "Hex", false));
  EXPECT_EQ(file.KeyNames("GENERAL").size(), 13u);
  EXPECT_EQ(file.KeyNames("General").front(), "Name");
  EXPECT_EQ(file.ReadRaw("General", "Name"), "  padded value  ");
}

TEST_F(ProfileFileTest, WritingKeepsEverythingElse) {
  TProfileFile file = Loaded("; my comment\n[First]\nB=2\nA=1\n\n[Unknown]\nx=y\n\n[Last]\nk=v\n");
  file.WriteString("first", "a", "changed");  // replaced in place, in the file's own spelling
  file.WriteString("First", "C", "3");        // appended to its section
  file.WriteString("New", "n", "new");        // a new section at the end
  file.DeleteKey("Last", "k");
  file.WriteInteger("Last", "i", 42);
  file.WriteBool("Last", "t", true);
  ASSERT_TRUE(file.Save()) << file.Error();
  EXPECT_EQ(ReadFile(Path),
            "; my comment\n[First]\nB=2\na=changed\nC=3\n\n[Unknown]\nx=y\n\n[Last]\ni=42\nt=1\n"
            "\n[New]\nn=new\n");
  file.EraseSection("Unknown");
  EXPECT_FALSE(file.SectionExists("unknown"));
  EXPECT_TRUE(file.SectionExists("LAST"));
}

TEST_F(ProfileFileTest, ValuesComeBackByteForByte) {
  TProfileFile file(Path);
  std::string bytes;
  for (int b = 1; b < 256; ++b) {
    if (b != '\r' && b != '\n') bytes += static_cast<char>(b);
  }
  const std::string value = "x" + bytes + "x";
  ASSERT_TRUE(TProfileFile::SurvivesReading(value));
  file.WriteString("S", "all", value);
  file.WriteString("S", "utf8", "p\xC3\xA4ssw\xC3\xB6rd \xE2\x82\xAC");
  ASSERT_TRUE(file.Save());
  TProfileFile again(Path);
  ASSERT_TRUE(again.Load());
  EXPECT_EQ(again.ReadString("S", "all", ""), value);
  EXPECT_EQ(again.ReadString("S", "utf8", ""), "p\xC3\xA4ssw\xC3\xB6rd \xE2\x82\xAC");
  for (const char* unsafe : {" lead", "trail ", "\"q\"", "a\nb", "'x'", "\tx"}) {
    EXPECT_FALSE(TProfileFile::SurvivesReading(unsafe)) << unsafe;
  }
  EXPECT_FALSE(TProfileFile::SurvivesReading(std::string("a\0b", 3)));
}

// A save goes to a temporary file first: a failed one leaves the old file as it was and no
// temporary file behind, and names the file.
TEST_F(ProfileFileTest, AFailedSaveLeavesTheOldFileAsItWas) {
  TProfileFile file = Loaded("[A]\nk=old\n");
  file.WriteString("A", "k", std::string(64 * 1024, 'n'));
  {
    TFileSizeLimit full(4096);  // a full disk, as far as this process can tell
    EXPECT_FALSE(file.Save());
  }
  EXPECT_NE(file.Error().find(Path), std::string::npos) << file.Error();
  EXPECT_EQ(ReadFile(Path), "[A]\nk=old\n");
  TProfileFile lost(Home + "missing/sub.ini");
  lost.WriteString("A", "k", "v");
  EXPECT_FALSE(lost.Save());
  EXPECT_NE(lost.Error().find("missing/sub.ini"), std::string::npos);
  file.WriteString("A", "k", "new");
  ASSERT_TRUE(file.Save());
  EXPECT_EQ(ReadFile(Path), "[A]\nk=new\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Home), {}), 1);
}

}  // namespace
}  // namespace pelmar::test
