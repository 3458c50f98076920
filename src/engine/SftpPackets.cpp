#include "engine/SftpPackets.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace pelmar {

TSftpWriter::TSftpWriter(uint8_t type, std::optional<uint32_t> id) {
  Bytes.assign(4, '\0');
  Byte(type);
  if (id) U32(*id);
}

TSftpWriter& TSftpWriter::Byte(uint8_t value) {
  Bytes.push_back(static_cast<char>(value));
  return *this;
}

TSftpWriter& TSftpWriter::U32(uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) Byte(static_cast<uint8_t>(value >> shift));
  return *this;
}

TSftpWriter& TSftpWriter::U64(uint64_t value) {
  U32(static_cast<uint32_t>(value >> 32));
  return U32(static_cast<uint32_t>(value));
}

TSftpWriter& TSftpWriter::String(std::string_view value) {
  U32(static_cast<uint32_t>(value.size()));
  Bytes.append(value);
  return *this;
}

TSftpWriter& TSftpWriter::Attributes(const TSftpAttributes& attributes) {
  const uint32_t flags = attributes.Flags & ~kSftpAttrExtended;
  U32(flags);
  if (flags & kSftpAttrSize) U64(attributes.Size);
  if (flags & kSftpAttrOwner) U32(attributes.Uid).U32(attributes.Gid);
  if (flags & kSftpAttrPermissions) U32(attributes.Permissions);
  if (flags & kSftpAttrTimes) U32(attributes.AccessTime).U32(attributes.ModifyTime);
  return *this;
}

char* TSftpWriter::Reserve(size_t length) {
  const size_t at = Bytes.size();
  Bytes.resize(at + length);
  return Bytes.data() + at;
}

std::string TSftpWriter::Take() {
  const auto length = static_cast<uint32_t>(Bytes.size() - 4);
  for (int i = 0; i < 4; ++i)
    Bytes[static_cast<size_t>(i)] = static_cast<char>(length >> (24 - 8 * i));
  return std::move(Bytes);
}

bool TSftpReader::Need(size_t length) {
  if (Good && Body.size() - Pos >= length) return true;
  Good = false;
  return false;
}

uint8_t TSftpReader::Byte() {
  if (!Need(1)) return 0;
  return static_cast<uint8_t>(Body[Pos++]);
}

uint32_t TSftpReader::U32() {
  if (!Need(4)) return 0;
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = (value << 8) | static_cast<uint8_t>(Body[Pos++]);
  return value;
}

uint64_t TSftpReader::U64() {
  const uint64_t high = U32();
  return (high << 32) | U32();
}

std::string_view TSftpReader::String() {
  const uint32_t length = U32();
  if (!Need(length)) return {};
  const std::string_view value = Body.substr(Pos, length);
  Pos += length;
  return value;
}

TSftpAttributes TSftpReader::Attributes() {
  TSftpAttributes attributes;
  attributes.Flags = U32();
  if (attributes.Flags & kSftpAttrSize) attributes.Size = U64();
  if (attributes.Flags & kSftpAttrOwner) {
    attributes.Uid = U32();
    attributes.Gid = U32();
  }
  if (attributes.Flags & kSftpAttrPermissions) attributes.Permissions = U32();
  if (attributes.Flags & kSftpAttrTimes) {
    attributes.AccessTime = U32();
    attributes.ModifyTime = U32();
  }
  if (attributes.Flags & kSftpAttrExtended) {
    // Pairs of extension name and data that Pelmar does not use; read past them. Each pair
    // is at least 8 bytes, so a count larger than what is left is a broken reply.
    const uint32_t count = U32();
    for (uint32_t i = 0; i < count && Good; ++i) {
      String();
      String();
    }
  }
  return attributes;
}

void TSftpFramer::Append(const char* data, size_t length) {
  if (Start > 0 && Start == Data.size()) {
    Data.clear();
    Start = 0;
  }
  Data.append(data, length);
}

std::optional<std::string> TSftpFramer::Next() {
  if (Bad || Data.size() - Start < 4) return std::nullopt;
  uint32_t length = 0;
  for (size_t i = 0; i < 4; ++i) length = (length << 8) | static_cast<uint8_t>(Data[Start + i]);
  if (length == 0 || length > kMaxSftpPacket) {
    Bad = true;
    return std::nullopt;
  }
  if (Data.size() - Start - 4 < length) return std::nullopt;
  std::string body = Data.substr(Start + 4, length);
  Start += 4 + length;
  // Keep the buffer from growing with everything ever received.
  if (Start > (size_t{1} << 20)) {
    Data.erase(0, Start);
    Start = 0;
  }
  return body;
}

std::string SftpStatusText(uint32_t code, std::string_view message) {
  if (!message.empty()) return std::string(message);
  switch (code) {
    case SSH_FX_OK:
      return "Success";
    case SSH_FX_EOF:
      return "End of file";
    case SSH_FX_NO_SUCH_FILE:
      return "No such file";
    case SSH_FX_PERMISSION_DENIED:
      return "Permission denied";
    case SSH_FX_BAD_MESSAGE:
      return "Bad message";
    case SSH_FX_NO_CONNECTION:
      return "No connection";
    case SSH_FX_CONNECTION_LOST:
      return "Connection lost";
    case SSH_FX_OP_UNSUPPORTED:
      return "Operation unsupported";
    default:
      return "Failure";
  }
}

std::optional<std::string> SftpFactsLine(const TSftpName& entry) {
  const std::string& name = entry.Name;
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  if (name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return std::nullopt;
  const TSftpAttributes& attributes = entry.Attributes;
  std::string line = "type=";
  line += attributes.IsFolder() ? "dir" : attributes.IsLink() ? "OS.unix=slink" : "file";
  line += ';';
  if (attributes.HasSize() && !attributes.IsFolder()) {
    line += "size=" + std::to_string(attributes.Size) + ';';
  }
  if (attributes.HasTimes()) {
    const time_t seconds = attributes.ModifyTime;
    tm parts{};
    gmtime_r(&seconds, &parts);
    char stamp[96];  // room for any int the compiler cannot rule out
    std::snprintf(stamp, sizeof stamp, "modify=%04d%02d%02d%02d%02d%02d;", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    line += stamp;
  }
  if (attributes.HasPermissions()) {
    char mode[32];
    std::snprintf(mode, sizeof mode, "UNIX.mode=0%o;", attributes.Permissions & 07777);
    line += mode;
  }
  line += ' ';
  line += name;
  return line;
}

}  // namespace pelmar
