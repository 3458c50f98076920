#pragma once
// The packets of the SSH file transfer protocol, version 3 (as OpenSSH serves it): building
// requests, cutting the byte stream of the channel into packets, and reading replies. Every
// read is bounds-checked: a reply that ends too early or announces more than it holds reads
// as broken, never past its end.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

enum TSftpType : uint8_t {
  SSH_FXP_INIT = 1,
  SSH_FXP_VERSION = 2,
  SSH_FXP_OPEN = 3,
  SSH_FXP_CLOSE = 4,
  SSH_FXP_READ = 5,
  SSH_FXP_WRITE = 6,
  SSH_FXP_LSTAT = 7,
  SSH_FXP_FSTAT = 8,
  SSH_FXP_SETSTAT = 9,
  SSH_FXP_FSETSTAT = 10,
  SSH_FXP_OPENDIR = 11,
  SSH_FXP_READDIR = 12,
  SSH_FXP_REMOVE = 13,
  SSH_FXP_MKDIR = 14,
  SSH_FXP_RMDIR = 15,
  SSH_FXP_REALPATH = 16,
  SSH_FXP_STAT = 17,
  SSH_FXP_RENAME = 18,
  SSH_FXP_READLINK = 19,
  SSH_FXP_SYMLINK = 20,
  SSH_FXP_STATUS = 101,
  SSH_FXP_HANDLE = 102,
  SSH_FXP_DATA = 103,
  SSH_FXP_NAME = 104,
  SSH_FXP_ATTRS = 105,
  SSH_FXP_EXTENDED = 200,
  SSH_FXP_EXTENDED_REPLY = 201,
};

enum TSftpStatus : uint32_t {
  SSH_FX_OK = 0,
  SSH_FX_EOF = 1,
  SSH_FX_NO_SUCH_FILE = 2,
  SSH_FX_PERMISSION_DENIED = 3,
  SSH_FX_FAILURE = 4,
  SSH_FX_BAD_MESSAGE = 5,
  SSH_FX_NO_CONNECTION = 6,
  SSH_FX_CONNECTION_LOST = 7,
  SSH_FX_OP_UNSUPPORTED = 8,
};

inline constexpr uint32_t kSftpOpenRead = 0x01;
inline constexpr uint32_t kSftpOpenWrite = 0x02;
inline constexpr uint32_t kSftpOpenCreate = 0x08;
inline constexpr uint32_t kSftpOpenTruncate = 0x10;
inline constexpr uint32_t kSftpOpenExclusive = 0x20;

inline constexpr uint32_t kSftpAttrSize = 0x01;
inline constexpr uint32_t kSftpAttrOwner = 0x02;
inline constexpr uint32_t kSftpAttrPermissions = 0x04;
inline constexpr uint32_t kSftpAttrTimes = 0x08;
inline constexpr uint32_t kSftpAttrExtended = 0x80000000u;

// A packet larger than this is refused: OpenSSH's own limit is 256 KiB, and a reply that
// announces more is broken or hostile (it would make the client wait for, or hold, gigabytes).
inline constexpr uint32_t kMaxSftpPacket = 256 * 1024 + 1024;

struct TSftpAttributes {
  uint32_t Flags = 0;
  uint64_t Size = 0;
  uint32_t Uid = 0;
  uint32_t Gid = 0;
  uint32_t Permissions = 0;  // the whole st_mode, file type bits included
  uint32_t AccessTime = 0;
  uint32_t ModifyTime = 0;

  bool HasSize() const { return Flags & kSftpAttrSize; }
  bool HasPermissions() const { return Flags & kSftpAttrPermissions; }
  bool HasTimes() const { return Flags & kSftpAttrTimes; }
  bool IsFolder() const { return HasPermissions() && (Permissions & 0170000) == 0040000; }
  bool IsLink() const { return HasPermissions() && (Permissions & 0170000) == 0120000; }
  bool IsRegular() const { return HasPermissions() && (Permissions & 0170000) == 0100000; }
};

struct TSftpName {
  std::string Name;
  std::string LongName;
  TSftpAttributes Attributes;
};

// Builds one packet: the length field is filled in by Take().
class TSftpWriter {
 public:
  // `id` is left out for INIT, which has none.
  TSftpWriter(uint8_t type, std::optional<uint32_t> id);
  TSftpWriter& Byte(uint8_t value);
  TSftpWriter& U32(uint32_t value);
  TSftpWriter& U64(uint64_t value);
  TSftpWriter& String(std::string_view value);
  TSftpWriter& Attributes(const TSftpAttributes& attributes);
  // Reserves `length` bytes at the end for the caller to fill (a write request's data).
  char* Reserve(size_t length);
  std::string Take();

 private:
  std::string Bytes;
};

// Reads one packet's body (what follows the length field). After any read past the end,
// Ok() is false and every further read gives zero or empty.
class TSftpReader {
 public:
  explicit TSftpReader(std::string_view body) : Body(body) {}
  uint8_t Byte();
  uint32_t U32();
  uint64_t U64();
  std::string_view String();
  TSftpAttributes Attributes();
  bool Ok() const { return Good; }
  bool AtEnd() const { return Pos == Body.size(); }

 private:
  bool Need(size_t length);
  std::string_view Body;
  size_t Pos = 0;
  bool Good = true;
};

// Cuts the channel's byte stream into packets.
class TSftpFramer {
 public:
  void Append(const char* data, size_t length);
  // The next whole packet's body, if one is there; Broken() when the stream announced a packet
  // that is empty or larger than kMaxSftpPacket.
  std::optional<std::string> Next();
  bool Broken() const { return Bad; }
  size_t Buffered() const { return Data.size() - Start; }

 private:
  std::string Data;
  size_t Start = 0;
  bool Bad = false;
};

// A reply's status as text: the server's own message where it sent one, else the code's name.
std::string SftpStatusText(uint32_t code, std::string_view message);

// What the SFTP attributes of a listed entry say, as a line of facts such as an MLSD listing
// gives ("type=file;size=12;modify=20240102030405;UNIX.mode=0644; name"), so that one reader
// serves both protocols. Nothing for "." and "..", and for a name a line cannot carry (a line
// break or a NUL in it).
std::optional<std::string> SftpFactsLine(const TSftpName& entry);

}  // namespace pelmar
