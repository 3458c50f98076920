#include "transfers/MulDiv.h"

#include <limits>

namespace pelmar {

// GCC and Clang's 128-bit integer; __extension__ keeps -Wpedantic quiet about it.
__extension__ using TInt128 = __int128;

int64_t MulDiv(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return -1;
  TInt128 product = static_cast<TInt128>(a) * b;
  const bool negative = (product < 0) != (c < 0);
  TInt128 magnitude = product < 0 ? -product : product;
  const TInt128 divisor = c < 0 ? -static_cast<TInt128>(c) : c;
  TInt128 result = (magnitude + divisor / 2) / divisor;  // halves round away from zero
  if (negative) result = -result;
  if (result > std::numeric_limits<int64_t>::max() ||
      result < std::numeric_limits<int64_t>::min()) {
    return -1;
  }
  return static_cast<int64_t>(result);
}

}  // namespace pelmar
