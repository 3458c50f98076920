#pragma once
// What a transfer reads from or writes to: a local file opened for sequential access, or a
// memory buffer (listings).

#include <cstddef>
#include <cstdint>
#include <string>

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
  // The server accepted the transfer: from here on the stream may change the local file.
  // False when it could not be prepared (ErrorText() says why).
  virtual bool Commit() { return true; }
  virtual std::string ErrorText() const { return {}; }
};

class TMemoryStream : public TTransferStream {
 public:
  int64_t Seek(int64_t offset) override;
  int64_t Position() const override { return static_cast<int64_t>(Pos); }
  bool Write(const char* data, size_t length) override;
  long Read(char* buffer, size_t length) override;
  std::string& Bytes() { return Data; }

 private:
  std::string Data;
  size_t Pos = 0;
};

// Open modes of the sequential file stream.
inline constexpr unsigned fmCreate = 0xFFFF;            // a new download
inline constexpr unsigned fmOpenWriteExclusive = 0x11;  // a resumed download
inline constexpr unsigned fmOpenReadDenyWrite = 0x20;   // an upload

// A local file read or written front to back. In create mode an existing file is kept as it
// is until Commit(): a download the server refuses must not destroy the file, and a file that
// did not exist before is removed again when the transfer never started.
class TSequentialFileStream : public TTransferStream {
 public:
  // Throws std::runtime_error with "Unable to create file %s" or "Unable to open file %s".
  TSequentialFileStream(const std::string& name, unsigned mode);
  ~TSequentialFileStream() override;
  TSequentialFileStream(const TSequentialFileStream&) = delete;
  TSequentialFileStream& operator=(const TSequentialFileStream&) = delete;

  int64_t Seek(int64_t offset) override;
  int64_t Position() const override { return Pos; }
  bool Write(const char* data, size_t length) override;
  long Read(char* buffer, size_t length) override;
  bool Commit() override;
  std::string ErrorText() const override { return Error; }
  int64_t Size() const;

 private:
  std::string Name;
  int Fd = -1;
  int64_t Pos = 0;
  bool TruncatePending = false;  // create mode over an existing file
  bool CreatedHere = false;      // create mode made the file
  bool Committed = false;
  std::string Error;
};

}  // namespace pelmar
