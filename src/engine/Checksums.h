#pragma once
// Checksums of local files, to compare with what a server computes for its copy (HASH and the
// X commands). Hex digits in lower case.

#include <optional>
#include <string>
#include <string_view>

namespace pelmar {

// "SHA-256", "SHA-1", "MD5" or "CRC32" of the whole file; nothing when it cannot be read or the
// algorithm is not one of these.
std::optional<std::string> FileDigest(const std::string& path, const std::string& algorithm);

// The checksum in a server's answer to HASH ("213 SHA-256 0-49 169cd2... name") or to an X
// command ("250 169cd2..." or "213 169cd2..."), lower-cased: the first run of hex digits as
// long as the algorithm's digest (CRC32 may leave out leading zeros). Nothing without one.
std::optional<std::string> DigestInReply(std::string_view reply, const std::string& algorithm);

}  // namespace pelmar
