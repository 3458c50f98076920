#include "engine/AsciiConversion.h"

namespace pelmar {

void TAsciiToLocal::Convert(const char* data, size_t length, std::string& out) {
  out.reserve(out.size() + length + 1);
  for (size_t i = 0; i < length; ++i) {
    const char c = data[i];
    if (PendingCR) {
      PendingCR = false;
      if (c == '\n') {
        out += '\n';
        continue;
      }
      out += '\r';
    }
    if (c == '\r') {
      PendingCR = true;
    } else {
      out += c;
    }
  }
}

void TAsciiToLocal::Finish(std::string& out) {
  if (PendingCR) out += '\r';
  PendingCR = false;
}

void TLocalToAscii::Convert(const char* data, size_t length, std::string& out) {
  out.reserve(out.size() + length + length / 16);
  for (size_t i = 0; i < length; ++i) {
    const char c = data[i];
    if (c == '\n' && !LastWasCR) out += '\r';
    out += c;
    LastWasCR = c == '\r';
  }
}

}  // namespace pelmar
