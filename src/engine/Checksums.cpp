#include "engine/Checksums.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/AsciiText.h"

namespace pelmar {
namespace {

size_t DigestLength(const std::string& algorithm) {
  if (algorithm == "SHA-256") return 64;
  if (algorithm == "SHA-1") return 40;
  if (algorithm == "MD5") return 32;
  if (algorithm == "CRC32") return 8;
  return 0;
}

uint32_t Crc32Update(uint32_t crc, const unsigned char* data, size_t length) {
  static const std::array<uint32_t, 256> kTable = [] {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    return table;
  }();
  for (size_t i = 0; i < length; ++i) crc = kTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

std::string Hex(const unsigned char* bytes, size_t length) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

std::optional<std::string> FileDigest(const std::string& path, const std::string& algorithm) {
  const EVP_MD* md = algorithm == "SHA-256" ? EVP_sha256()
                     : algorithm == "SHA-1" ? EVP_sha1()
                     : algorithm == "MD5"   ? EVP_md5()
                                            : nullptr;
  if (!md && algorithm != "CRC32") return std::nullopt;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                  &EVP_MD_CTX_free);
  bool ok = md == nullptr || (context && EVP_DigestInit_ex(context.get(), md, nullptr) == 1);
  uint32_t crc = 0xFFFFFFFFu;
  std::vector<unsigned char> buffer(1 << 18);
  while (ok) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0) {
      ok = errno == EINTR;
      continue;
    }
    if (n == 0) break;
    const auto length = static_cast<size_t>(n);
    if (md) {
      ok = EVP_DigestUpdate(context.get(), buffer.data(), length) == 1;
    } else {
      crc = Crc32Update(crc, buffer.data(), length);
    }
  }
  ::close(fd);
  if (!ok) return std::nullopt;
  if (!md) {
    const uint32_t value = crc ^ 0xFFFFFFFFu;
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(value >> 24), static_cast<unsigned char>(value >> 16),
        static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
    return Hex(bytes, 4);
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return std::nullopt;
  return Hex(digest, length);
}

std::optional<std::string> DigestInReply(std::string_view reply, const std::string& algorithm) {
  const size_t wanted = DigestLength(algorithm);
  if (wanted == 0 || reply.size() < 4 || reply[0] != '2') return std::nullopt;
  // Runs of hex digits after the code, separated by blanks; the code itself is skipped.
  for (size_t at = 4; at < reply.size();) {
    while (at < reply.size() && reply[at] == ' ') ++at;
    size_t end = at;
    while (end < reply.size() && reply[end] != ' ') ++end;
    const std::string_view word = reply.substr(at, end - at);
    bool hex = !word.empty();
    for (const char c : word) hex &= IsHex(c);
    if (hex && (word.size() == wanted || (algorithm == "CRC32" && word.size() < wanted))) {
      std::string digest = AsciiLower(std::string(word));
      if (digest.size() < wanted) digest.insert(0, wanted - digest.size(), '0');
      return digest;
    }
    at = end;
  }
  return std::nullopt;
}

}  // namespace pelmar
