#pragma once
// One entry of a remote folder listing.

#include <cstdint>
#include <string>

#include "platform/DateTime.h"

namespace pelmar {

inline constexpr uint16_t iaFolder = 1;
inline constexpr uint16_t iaLink = 2;
inline constexpr uint16_t iaOwnerRead = 4;
inline constexpr uint16_t iaOwnerWrite = 8;
inline constexpr uint16_t iaOwnerExec = 16;
inline constexpr uint16_t iaGroupRead = 32;
inline constexpr uint16_t iaGroupWrite = 64;
inline constexpr uint16_t iaGroupExec = 128;
inline constexpr uint16_t iaOtherRead = 256;
inline constexpr uint16_t iaOtherWrite = 512;
inline constexpr uint16_t iaOtherExec = 1024;
// The time is exact and was given in UTC (MLSD's modify fact, an epoch): asking the server for
// it again (MDTM) would tell nothing new.
inline constexpr uint16_t iaExactTime = 2048;

struct TRemoteItem {
  // As listed, to the end of the line; for a link "name -> target". Blanks are kept.
  std::string Name;
  uint16_t Attributes = 0;
  int64_t Size = 0;  // bytes; 0 for folders
  // From LIST: the server's local time, seconds 0. From MLSD: exact, to the second, turned
  // from UTC into this machine's local time.
  TDateTime Modified = 0;
  // MLSD's "unique" fact as a number: equal for every path that reaches one file or folder
  // (a server that follows links lists a linked folder under each name); 0 when not given.
  uint64_t Unique = 0;
};

// "rwxr-xr-x" from the permission bits ("-" where a bit is clear).
std::string PermissionLetters(uint16_t attributes);

}  // namespace pelmar
