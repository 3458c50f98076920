#pragma once
// Pure text handling of control-connection replies: cutting received bytes into lines,
// recognising the final line of a reply, and reading the data that 150 and 257 replies carry.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelmar {

// Longest reply line accepted; a longer one means a broken or hostile server.
inline constexpr size_t kMaxReplyLine = 64 * 1024;

// Cuts a byte stream into lines. A line ends at CR LF, a lone LF or a lone CR; a CR that ends
// one segment and an LF that starts the next are a single line end. Bytes after the last line
// end stay for the next call, so nothing the server sent is lost between replies.
class TReplyFramer {
 public:
  enum class TResult { Line, NeedMore, TooLong };

  void Append(std::string_view bytes);
  TResult NextLine(std::string& line);
  void Clear();
  size_t Pending() const { return Buffer.size() - Start; }

 private:
  std::string Buffer;
  size_t Start = 0;            // first byte not yet taken
  bool SkipLeadingLF = false;  // the last line ended with a CR at the end of the buffer
};

// Recognises where a reply ends. A single-line reply is "ddd text"; a multi-line reply opens
// with "ddd-" and ends only at a line that starts with the same code and a space. Codes are
// 100 to 599; anything else is a text line.
class TReplyClassifier {
 public:
  // The reply code when `line` ends the reply, else 0.
  int Feed(std::string_view line);

 private:
  int OpenCode = 0;
};

// The code of a log line that looks like the last line of a reply ("550 No such file"), else 0.
int FinalReplyCode(std::string_view line);

// The reply line with every whole occurrence of `secret` (the password just sent, which some
// servers echo) replaced by "***": only where no letter or digit adjoins it, so that a short
// password's letters stay in the words around it; the code stays as it is.
std::string WithoutEchoedSecret(std::string_view line, std::string_view secret);

// The path of a 257 reply: the first quoted string, with "" standing for one quote; without a
// closing quote it runs to the end of the line; empty when the line has no quote.
std::string ParseFolderReply(std::string_view line);

// The size a 150 reply announces for `localFileName` ("... name (12345 bytes)"), matched by
// the local file's name without its folder, in lower case.
// The size in a "213 12345" answer to SIZE.
std::optional<int64_t> ParseSizeReply(std::string_view line);
std::optional<int64_t> ParseSizeReport(std::string_view line, std::string_view localFileName);
// The size a 150 reply announces for the file it opens, whatever it calls the file: the number
// in its last "(12345 bytes)"; -1 when it names none.
int64_t ParseAnnouncedSize(std::string_view line);

// The port of a 229 reply: "Entering Extended Passive Mode (|||6446|)", the delimiter being
// whatever printable character follows the parenthesis.
std::optional<uint16_t> ParseEpsvReply(std::string_view line);

struct TPassiveAddress {
  uint32_t Address = 0;  // host byte order
  uint16_t Port = 0;
};
// The address and port of a 227 reply: the first six numbers from 0 to 255 separated by
// commas ("227 Entering Passive Mode (192,168,1,2,19,137)"; the parentheses are optional).
std::optional<TPassiveAddress> ParsePasvReply(std::string_view line);

// The "OPTS MLST" argument that asks for every fact Pelmar reads which FEAT's MLST line
// `offered` ("type*;size*;modify*;unix.mode;") names; empty when the server sends them all
// unasked already (or names none).
std::string WantedMlstFacts(const std::string& offered);
// Whether an MLSD listing names a link without its target (ProFTPD's "OS.unix=symlink",
// Pure-FTPd's empty "OS.unix=slink:").
bool HasUntargetedLinks(const std::string& mlsd);
// The MLSD listing with its link lines replaced by the link lines of the same folder's LIST
// listing, which name their targets.
std::string WithListedLinks(const std::string& mlsd, const std::string& list);

}  // namespace pelmar
