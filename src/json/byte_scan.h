// Finding the bytes of a string that need attention, sixteen or eight at a
// time.
//
// Where the compiler targets SSE2 (every x86-64 processor has it), sixteen
// bytes are compared at once. Elsewhere, and for the last bytes, plain 64-bit
// arithmetic: each test sets the high bit of every byte lane that matches,
// and the lowest matching lane is exact (a false match can only sit above a
// true one, where a borrow spilled over), which is all a scan for the first
// such byte needs. Both give the same answer for every input.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvix::json::scan {

inline constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

// Eight bytes with the first in the lowest lane, so that a borrow only ever
// spills towards later bytes.
inline std::uint64_t load8(const char* p) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
  } else {
    std::uint64_t word = 0;
    for (int i = 7; i >= 0; --i) word = word << 8 | static_cast<unsigned char>(p[i]);
    return word;
  }
}

// High bit set in the lanes that are zero (the lowest one exact).
constexpr std::uint64_t zero_lanes(std::uint64_t word) { return (word - kOnes) & ~word & kHighs; }

// High bit set in the lanes equal to `c`.
constexpr std::uint64_t lanes_equal(std::uint64_t word, unsigned char c) { return zero_lanes(word ^ (kOnes * c)); }

// High bit set in the lanes below 0x20 (the lowest one exact).
constexpr std::uint64_t control_lanes(std::uint64_t word) { return (word - kOnes * 0x20) & ~word & kHighs; }

// Index of the lowest marked lane of a non-zero mask: the first byte.
inline std::size_t first_lane(std::uint64_t mask) { return static_cast<std::size_t>(std::countr_zero(mask)) / 8; }

// Bytes a JSON string cannot hold raw: '"', '\\' and those below 0x20.
inline bool needs_escape(unsigned char c) { return c == '"' || c == '\\' || c < 0x20; }

inline std::uint64_t escape_lanes(std::uint64_t word) {
  return lanes_equal(word, '"') | lanes_equal(word, '\\') | control_lanes(word);
}

#if defined(__SSE2__)
// A bit per byte of the sixteen at `p`, set where the byte needs an escape
// (or, with `non_ascii`, is not ASCII either).
template <bool non_ascii>
inline unsigned escape_bits16(__m128i bytes) {
  const __m128i quote = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"'));
  const __m128i backslash = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'));
  __m128i low;
  if constexpr (non_ascii) {
    // A signed compare: below 0x20 or (as a negative byte) 0x80 and above.
    low = _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20));
  } else {
    // Only below 0x20: the bytes that a saturating subtraction of 0x1F takes to zero.
    low = _mm_cmpeq_epi8(_mm_subs_epu8(bytes, _mm_set1_epi8(0x1F)), _mm_setzero_si128());
  }
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(quote, backslash), low)));
}

inline __m128i load16(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
#endif

#if defined(__SSE2__)
// The first marked byte of [p, end), fewer than sixteen bytes, from the bits
// of the sixteen that end at `end`; `end` when none is marked. The bytes
// before `p` are read but not judged: each lane of a compare stands alone.
inline const char* in_last16(const char* p, const char* end, unsigned bits) {
  bits >>= 16 - (end - p);
  return bits != 0 ? p + std::countr_zero(bits) : end;
}
#endif

// The first byte in [p, end) that needs an escape, or `end`.
// `floor`, when given, is the lowest address that may be read (at most p):
// a tail shorter than sixteen bytes is then judged in one load that reaches
// back from `end`, instead of a byte at a time.
inline const char* find_escape(const char* p, const char* end, const char* floor = nullptr) {
#if defined(__SSE2__)
  for (; end - p >= 16; p += 16) {
    if (const unsigned bits = escape_bits16<false>(load16(p))) return p + std::countr_zero(bits);
  }
  if (p != end && floor != nullptr && end - floor >= 16)
    return in_last16(p, end, escape_bits16<false>(load16(end - 16)));
#endif
  for (; end - p >= 8; p += 8) {
    if (const std::uint64_t mask = escape_lanes(load8(p))) return p + first_lane(mask);
  }
  while (p != end && !needs_escape(static_cast<unsigned char>(*p))) ++p;
  return p;
}

// The first byte in [p, end) that needs an escape or is not ASCII, or `end`;
// `floor` as for find_escape().
inline const char* find_escape_or_non_ascii(const char* p, const char* end, const char* floor = nullptr) {
#if defined(__SSE2__)
  for (; end - p >= 16; p += 16) {
    if (const unsigned bits = escape_bits16<true>(load16(p))) return p + std::countr_zero(bits);
  }
  if (p != end && floor != nullptr && end - floor >= 16)
    return in_last16(p, end, escape_bits16<true>(load16(end - 16)));
#endif
  for (; end - p >= 8; p += 8) {
    const std::uint64_t word = load8(p);
    if (const std::uint64_t mask = escape_lanes(word) | (word & kHighs)) return p + first_lane(mask);
  }
  while (p != end && !needs_escape(static_cast<unsigned char>(*p)) && static_cast<unsigned char>(*p) < 0x80) ++p;
  return p;
}

// Writes at `out` the escape the compact serialiser writes for a byte that
// needs one (needs_escape()) and returns its end: \" \\ \b \t \n \f \r, else
// \u00xx in lower-case hex.
inline char* write_escape(unsigned char c, char* out) {
  static constexpr char kHex[] = "0123456789abcdef";
  *out++ = '\\';
  switch (c) {
    case '"': *out++ = '"'; break;
    case '\\': *out++ = '\\'; break;
    case '\b': *out++ = 'b'; break;
    case '\t': *out++ = 't'; break;
    case '\n': *out++ = 'n'; break;
    case '\f': *out++ = 'f'; break;
    case '\r': *out++ = 'r'; break;
    default:
      *out++ = 'u';
      *out++ = '0';
      *out++ = '0';
      *out++ = kHex[c >> 4];
      *out++ = kHex[c & 0xF];
  }
  return out;
}

}  // namespace orvix::json::scan
