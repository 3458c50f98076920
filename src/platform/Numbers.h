#pragma once
// Numbers from outside the program (listing fields, server replies, request arguments) are
// read here and nowhere else: digits only, checked against the largest value the caller can
// take, so that a number too large is a field that does not read, never a wrapped or negative
// value. Inline: the listing reader calls it for every field of every line.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace pelmar {

inline constexpr int64_t kMaxNumber = std::numeric_limits<int64_t>::max();

// The whole of `text` as a decimal number from 0 to `limit`; nothing when it is empty, holds
// anything but the digits 0 to 9, or is larger than `limit`. Leading zeros are allowed.
constexpr std::optional<int64_t> ReadNumber(std::string_view text, int64_t limit = kMaxNumber) {
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  if (text.size() <= 18) {  // below 10^18: cannot overflow
    for (const char c : text) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + (c - '0');
    }
  } else {
    for (const char c : text) {
      if (c < '0' || c > '9') return std::nullopt;
      const int digit = c - '0';
      if (value > (kMaxNumber - digit) / 10) return std::nullopt;
      value = value * 10 + digit;
    }
  }
  if (value > limit) return std::nullopt;
  return value;
}

// The run of digits at `at` in `text` (moving `at` past it) read as above; nothing when there
// is no digit at `at` or the run is larger than `limit`.
constexpr std::optional<int64_t> ReadNumberAt(std::string_view text, size_t& at,
                                              int64_t limit = kMaxNumber) {
  const size_t start = at;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
  return ReadNumber(text.substr(start < text.size() ? start : text.size(), at - start), limit);
}

// `value` times `factor`, or `value` plus `addend`, when the result fits; nothing when it
// does not.
constexpr std::optional<int64_t> CheckedProduct(int64_t value, int64_t factor) {
  int64_t product = 0;
  if (__builtin_mul_overflow(value, factor, &product)) return std::nullopt;
  return product;
}
constexpr std::optional<int64_t> CheckedSum(int64_t value, int64_t addend) {
  int64_t sum = 0;
  if (__builtin_add_overflow(value, addend, &sum)) return std::nullopt;
  return sum;
}

}  // namespace pelmar
