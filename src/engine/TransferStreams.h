#pragma once
// What a transfer reads from or writes to: a local file opened for sequential access, or a
// memory buffer (listings).

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/Messages.h"

namespace pelmar {

class TTransferStream {
 public:
  virtual ~TTransferStream() = default;
  // Moves to `offset` from the start; returns the new position.
  virtual int64_t Seek(int64_t offset) = 0;
  virtual int64_t Position() const = 0;
  // False on failure; ErrorText() says why.
  virtual bool Write(const char* data, size_t length) = 0;
  // Bytes read (0 at the end), or -1 on failure.
  virtual long Read(char* buffer, size_t length) = 0;
  // The server confirmed the whole transfer: make the result final. False when that failed
  // (ErrorText() says why).
  virtual bool Finish() { return true; }
  virtual std::string ErrorText() const { return {}; }
  // The error event's code for what ErrorText() says (0 for most).
  virtual int ErrorCode() const { return 0; }
  // The local file the data goes to or comes from (a replacement's temporary file until it is
  // finished); empty for memory.
  virtual std::string LocalPath() const { return {}; }
};

// A listing in memory. A hostile or broken server could send one without end, so it has
// limits: past either, Write fails and says so, and the memory goes. A real folder of a
// million entries is 70-80 MB of LIST text and must be shown; 16 million lines or 1 GiB is
// beyond any real folder and still ends an endless listing (the buffer never grows past the
// limit; the time-out ends a slow one).
inline constexpr size_t kMaxListingBytes = size_t{1} << 30;
inline constexpr size_t kMaxListingLines = 16000000;

class TMemoryStream : public TTransferStream {
 public:
  int64_t Seek(int64_t offset) override;
  std::string ErrorText() const override { return Error; }
  int64_t Position() const override { return static_cast<int64_t>(Pos); }
  bool Write(const char* data, size_t length) override;
  long Read(char* buffer, size_t length) override;
  std::string& Bytes() { return Data; }

 private:
  std::string Data;
  size_t Pos = 0;
  size_t Lines = 0;
  std::string Error;
};

// Open modes of the sequential file stream.
inline constexpr unsigned fmCreate = 0xFFFF;            // a download that may replace a file
inline constexpr unsigned fmCreateNew = 0xFFFE;         // a download where nothing may be yet
inline constexpr unsigned fmOpenWriteExclusive = 0x11;  // a resumed download
inline constexpr unsigned fmOpenReadDenyWrite = 0x20;   // an upload

// A local file read or written front to back. A download touches nothing on disk before its
// first byte of data arrives (or, for an empty file, before the server confirmed it): a refused
// or broken data connection leaves the destination as it was. An existing file is never written
// in place: the download goes into a temporary file beside it, which Finish() renames over it
// and which is removed when the transfer fails; such leftovers of an earlier run that was
// killed are removed when the same file is fetched again. A file that did not exist before is
// created exclusively and written in place (an interrupted one can be resumed). A download
// never goes through a symbolic link at the destination: the link is left alone and the
// transfer fails saying so; in fmCreateNew mode a file that appeared since the transfer was
// decided is left alone too (DestinationTaken() tells).
// Removes the replacements being written right now (for a program that is interrupted: the old
// files stay as they were). Call it from normal code, not from a signal handler.
void RemoveUnfinishedReplacements();

class TSequentialFileStream : public TTransferStream {
 public:
  // Throws std::runtime_error with "Unable to create file %s: reason" or "Unable to open file
  // %s: reason" (the system's words for errno, or why a link or a new file is left alone).
  TSequentialFileStream(const std::string& name, unsigned mode);
  ~TSequentialFileStream() override;
  TSequentialFileStream(const TSequentialFileStream&) = delete;
  TSequentialFileStream& operator=(const TSequentialFileStream&) = delete;

  int64_t Seek(int64_t offset) override;
  int64_t Position() const override { return Pos; }
  bool Write(const char* data, size_t length) override;
  long Read(char* buffer, size_t length) override;
  bool Finish() override;
  std::string ErrorText() const override { return Error; }
  int ErrorCode() const override { return Taken ? kErrorDestinationTaken : 0; }
  std::string LocalPath() const override { return TempName.empty() ? Name : TempName; }
  int64_t Size() const;
  // An existing file is being replaced: the old one stays as it is until Finish().
  bool Replacing() const { return !Target.empty(); }
  // Something that was not there when the download was decided took the destination's name.
  bool DestinationTaken() const { return Taken; }
  // What arrived is wrong (its checksum says so): a file made by this transfer goes, a file
  // resumed in place goes back to its first `kept` bytes; a replacement is never finished.
  void Discard(int64_t kept);
  // Cuts the file back to `size` bytes (a resumed download that went wrong).
  void Truncate(int64_t size);

 private:
  // Opens the file a download writes to, at its first byte (or at Finish() for an empty file).
  bool OpenForWriting();
  // Create mode over an existing regular file: opens a temporary file beside it.
  bool OpenReplacement();

  std::string Name;
  int Fd = -1;
  int64_t Pos = 0;
  bool Pending = false;      // a download whose file is not opened yet
  bool CreatedHere = false;  // this download made the file
  bool Taken = false;
  bool Finished = false;  // the server confirmed the transfer and the result is final
  std::string TempName;   // the replacement being written; empty when writing in place
  std::string Target;     // what the replacement goes over (the existing file itself)
  std::string Error;
};

}  // namespace pelmar
