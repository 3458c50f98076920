// Feeds arbitrary bytes, cut into arbitrary segments, through the control connection's reply
// reading: line framing, reply classification and the 150/257 readers.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/ReplyParsing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the segment length, so framing across segments gets exercised.
  const size_t segment = static_cast<size_t>(data[0] % 17) + 1;
  std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  pelmar::TReplyFramer framer;
  pelmar::TReplyClassifier classifier;
  std::string line;
  for (size_t at = 0; at < input.size(); at += segment) {
    framer.Append(input.substr(at, segment));
    for (;;) {
      const auto result = framer.NextLine(line);
      if (result == pelmar::TReplyFramer::TResult::TooLong) {
        framer.Clear();
        break;
      }
      if (result != pelmar::TReplyFramer::TResult::Line) break;
      if (line.size() > pelmar::kMaxReplyLine) std::abort();
      if (line.find_first_of("\r\n") != std::string::npos) std::abort();
      const int code = classifier.Feed(line);
      if (code != 0 && (code < 100 || code > 599)) std::abort();
      (void)pelmar::ParseFolderReply(line);
      (void)pelmar::ParseSizeReport(line, "/tmp/some file.txt");
    }
  }
  return 0;
}
