#pragma once
// Cuts a line into blank-separated fields quickly. Listing lines are mostly runs of padding,
// so a byte-by-byte scan pays a branch misprediction at nearly every field edge; this finds
// the edges 64 bytes at a time from a bit mask of the blanks (SSE2 where available). Inline:
// it runs a dozen times per listing line.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelmar {

class TFieldScanner {
 public:
  explicit TFieldScanner(std::string_view line) : Line(line) {}

  // The next field as [start, end); false at the end of the line.
  bool Next(size_t& start, size_t& end) {
    start = NextEdge(Position, false);
    if (start >= Line.size()) {
      Position = Line.size();
      return false;
    }
    end = NextEdge(start, true);
    Position = end;
    return true;
  }

 private:
  // Bit i set when byte `base + i` is neither a blank nor a tab (bits past the end are clear).
  uint64_t NonBlankMask(size_t base) const {
    const size_t left = Line.size() - base;
    const char* bytes = Line.data() + base;
    alignas(16) char padded[64];
    if (left < 64) {
      std::memset(padded, ' ', sizeof padded);
      std::memcpy(padded, bytes, left);
      bytes = padded;
    }
    uint64_t blanks = 0;
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    for (int part = 0; part < 4; ++part) {
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part));
      const __m128i blank = _mm_or_si128(_mm_cmpeq_epi8(chunk, space), _mm_cmpeq_epi8(chunk, tab));
      blanks |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(blank)))
                << (16 * part);
    }
#else
    for (size_t i = 0; i < 64; ++i) {
      if (bytes[i] == ' ' || bytes[i] == '\t') blanks |= uint64_t{1} << i;
    }
#endif
    return ~blanks;
  }

  // The first position at or after `from` that is non-blank (between fields) or blank
  // (inside a field); the line's end when there is none.
  size_t NextEdge(size_t from, bool inField) {
    while (from < Line.size()) {
      const size_t base = from & ~size_t{63};
      if (base != BlockBase) {
        BlockBase = base;
        BlockMask = NonBlankMask(base);
      }
      uint64_t mask = inField ? ~BlockMask : BlockMask;
      mask &= ~uint64_t{0} << (from - base);
      if (mask != 0) {
        const size_t edge = base + static_cast<size_t>(__builtin_ctzll(mask));
        return edge < Line.size() ? edge : Line.size();
      }
      from = base + 64;
    }
    return Line.size();
  }

  std::string_view Line;
  size_t Position = 0;
  size_t BlockBase = static_cast<size_t>(-1);  // the 64-byte block whose mask is cached
  uint64_t BlockMask = 0;
};

}  // namespace pelmar
