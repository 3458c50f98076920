#include "engine/AsciiConversion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelmar {
namespace {

std::string ToLocal(const std::vector<std::string>& chunks) {
  TAsciiToLocal converter;
  std::string out;
  for (const auto& chunk : chunks) converter.Convert(chunk.data(), chunk.size(), out);
  converter.Finish(out);
  return out;
}

std::string ToWire(const std::vector<std::string>& chunks) {
  TLocalToAscii converter;
  std::string out;
  for (const auto& chunk : chunks) converter.Convert(chunk.data(), chunk.size(), out);
  return out;
}

TEST(AsciiConversion, DownloadsLoseTheCrOfEachLineEnd) {
  const struct {
    std::vector<std::string> Chunks;
    std::string Local;
  } cases[] = {
      {{"a\r\nb\r\n"}, "a\nb\n"}, {{"a\r", "\nb"}, "a\nb"},  // CR and LF in two chunks
      {{"a\rb"}, "a\rb"},                                    // a lone CR is data
      {{"a\r"}, "a\r"},                                      // a CR at the very end is kept
      {{"a\r\r\n"}, "a\r\n"},     {{"\n\n"}, "\n\n"},       {{""}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ToLocal(c.Chunks), c.Local);
}

TEST(AsciiConversion, UploadsGetCrLfLineEnds) {
  const struct {
    std::vector<std::string> Chunks;
    std::string Wire;
  } cases[] = {
      {{"a\nb\n"}, "a\r\nb\r\n"}, {{"a\r\nb"}, "a\r\nb"},  // already CR LF: not doubled
      {{"a\r", "\nb"}, "a\r\nb"},                          // across chunks too
      {{"\n"}, "\r\n"},           {{"x\rx"}, "x\rx"},
  };
  for (const auto& c : cases) EXPECT_EQ(ToWire(c.Chunks), c.Wire);
}

}  // namespace
}  // namespace pelmar
