#pragma once
// TYPE A transfers carry text with CR LF line ends; on this system text files end their lines
// with LF alone. Downloads in ASCII mode turn CR LF into LF, uploads turn a bare LF into CR LF.
// Both work on a stream cut into arbitrary chunks.

#include <cstddef>
#include <string>

namespace pelmar {

class TAsciiToLocal {
 public:
  // Appends the local form of `data` to `out` (a CR at the end of a chunk waits for the next).
  void Convert(const char* data, size_t length, std::string& out);
  // What is still held back at the end of the transfer.
  void Finish(std::string& out);

 private:
  bool PendingCR = false;
};

class TLocalToAscii {
 public:
  void Convert(const char* data, size_t length, std::string& out);

 private:
  bool LastWasCR = false;
};

}  // namespace pelmar
