// Finding the bytes of a string that need attention, eight at a time.
//
// Plain 64-bit arithmetic (no instruction-set extensions): each test sets the
// high bit of every byte lane that matches, and the lowest matching lane is
// exact (a false match can only sit above a true one, where a borrow spilled
// over), which is all a scan for the first such byte needs.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

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

// The first byte in [p, end) that needs an escape, or `end`.
inline const char* find_escape(const char* p, const char* end) {
  for (; end - p >= 8; p += 8) {
    if (const std::uint64_t mask = escape_lanes(load8(p))) return p + first_lane(mask);
  }
  while (p != end && !needs_escape(static_cast<unsigned char>(*p))) ++p;
  return p;
}

// The first byte in [p, end) that needs an escape or is not ASCII, or `end`.
inline const char* find_escape_or_non_ascii(const char* p, const char* end) {
  for (; end - p >= 8; p += 8) {
    const std::uint64_t word = load8(p);
    if (const std::uint64_t mask = escape_lanes(word) | (word & kHighs)) return p + first_lane(mask);
  }
  while (p != end && !needs_escape(static_cast<unsigned char>(*p)) && static_cast<unsigned char>(*p) < 0x80) ++p;
  return p;
}

}  // namespace orvix::json::scan
