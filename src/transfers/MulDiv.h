#pragma once

#include <cstdint>

namespace pelmar {

// a * b / c rounded to the nearest integer, with a 128-bit intermediate; -1 when c is 0 or
// the result does not fit in 64 bits. Percentages, rates and remaining times use it.
int64_t MulDiv(int64_t a, int64_t b, int64_t c);

}  // namespace pelmar
