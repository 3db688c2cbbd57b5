// Finding the bytes of a string that need attention, sixteen or eight at a
// time. The readers and the serialiser scan through these functions alone,
// so that the vector code and its plain twin sit side by side here, where a
// test holds them to the same answers.
//
// Where the compiler targets SSE2 (every x86-64 processor has it), sixteen
// bytes are compared at once. Elsewhere, and for the last bytes, plain 64-bit
// arithmetic: each test sets the high bit of every byte lane that matches,
// and the lowest matching lane is exact (a false match can only sit above a
// true one, where a borrow spilled over), which is all a scan for the first
// such byte needs. Both give the same answer for every input.
#pragma once

#include <array>
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
// Looked up, not compared three times: short texts are judged a byte at a
// time, and most texts are short.
inline constexpr auto kNeedsEscape = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = true;
  table['"'] = table['\\'] = true;
  return table;
}();
inline bool needs_escape(unsigned char c) { return kNeedsEscape[c]; }

inline std::uint64_t escape_lanes(std::uint64_t word) {
  return lanes_equal(word, '"') | lanes_equal(word, '\\') | control_lanes(word);
}

// The n bytes (sizeof(Word) <= n <= 2 * sizeof(Word)) in two moves of a
// word, the second ending where the run does; they overlap when n is short.
template <class Word>
void copy_two_words(char* to, const char* from, std::size_t n) {
  Word head;
  Word tail;
  std::memcpy(&head, from, sizeof head);
  std::memcpy(&tail, from + n - sizeof tail, sizeof tail);
  std::memcpy(to, &head, sizeof head);
  std::memcpy(to + n - sizeof tail, &tail, sizeof tail);
}

// Copies n bytes. Most runs between the bytes that need attention are short
// (names, methods, texts of a few words): those are copied without a call.
inline void copy_run(char* to, const char* from, std::size_t n) {
  if (n > 16) {
    std::memcpy(to, from, n);
  } else if (n >= 8) {
    copy_two_words<std::uint64_t>(to, from, n);
  } else if (n >= 4) {
    copy_two_words<std::uint32_t>(to, from, n);
  } else {
    for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
  }
}

inline bool is_plain_ascii(unsigned char c) { return c < 0x80 && !needs_escape(c); }

// The scans in plain 64-bit arithmetic: all that a target without SSE2 runs,
// and what the sixteen-byte scans fall back on for their last bytes. Each
// gives the same answer as its namesake below for every input.
namespace scalar {

inline const char* find_escape_or_non_ascii(const char* p, const char* end) {
  for (; end - p >= 8; p += 8) {
    const std::uint64_t word = load8(p);
    if (const std::uint64_t mask = escape_lanes(word) | (word & kHighs)) return p + first_lane(mask);
  }
  while (p != end && is_plain_ascii(static_cast<unsigned char>(*p))) ++p;
  return p;
}

template <bool non_ascii>
inline const char* copy_until(const char* in, const char* end, char* out) {
  for (; end - in >= 8; in += 8, out += 8) {
    std::memcpy(out, in, 8);
    const std::uint64_t word = load8(in);
    if (const std::uint64_t mask = escape_lanes(word) | (non_ascii ? word & kHighs : 0)) return in + first_lane(mask);
  }
  for (; in != end; ++in) {
    const auto c = static_cast<unsigned char>(*in);
    if (non_ascii ? !is_plain_ascii(c) : needs_escape(c)) break;
    *out++ = *in;
  }
  return in;
}

}  // namespace scalar

#if defined(__SSE2__)
namespace sse2 {

// A bit per byte of the sixteen, set where the byte needs an escape (or,
// with `non_ascii`, is not ASCII either).
template <bool non_ascii>
inline unsigned escape_bits16(__m128i bytes) {
  const __m128i backslash = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'));
  __m128i low;
  if constexpr (non_ascii) {
    // A signed compare: below 0x20 or (as a negative byte) 0x80 and above.
    const __m128i quote = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"'));
    low = _mm_or_si128(quote, _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20)));
  } else {
    // Below 0x20 or '"' (0x22): flipping bit 1 takes '"' to 0x20 and keeps
    // the others below it, so one saturating subtraction of 0x20 takes
    // exactly these bytes to zero, where a separate compare for '"' was.
    const __m128i flipped = _mm_xor_si128(bytes, _mm_set1_epi8(0x02));
    low = _mm_cmpeq_epi8(_mm_subs_epu8(flipped, _mm_set1_epi8(0x20)), _mm_setzero_si128());
  }
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(backslash, low)));
}

inline __m128i load16(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// The first marked byte of [p, end), fewer than sixteen bytes, from the
// bits of the sixteen that end at `end` (`floor` permitting: see below), or
// `end` when none is marked; null when `floor` does not reach back that far.
// The bytes before `p` are read but not judged: each lane of a compare
// stands alone.
template <bool non_ascii>
inline const char* in_last16(const char* p, const char* end, const char* floor) {
  if (floor == nullptr || end - floor < 16) return nullptr;
  const unsigned bits = escape_bits16<non_ascii>(load16(end - 16)) >> (16 - (end - p));
  return bits != 0 ? p + std::countr_zero(bits) : end;
}

}  // namespace sse2
#endif

// The first byte in [p, end) that needs an escape or is not ASCII, or `end`.
// `floor`, when given, is the lowest address that may be read (at most p):
// a tail shorter than sixteen bytes is then judged in one load that reaches
// back from `end`, instead of a byte at a time.
inline const char* find_escape_or_non_ascii(const char* p, const char* end, const char* floor = nullptr) {
#if defined(__SSE2__)
  for (; end - p >= 16; p += 16) {
    if (const unsigned bits = sse2::escape_bits16<true>(sse2::load16(p))) return p + std::countr_zero(bits);
  }
  if (p == end) return p;
  if (const char* stop = sse2::in_last16<true>(p, end, floor)) return stop;
#endif
  (void)floor;
  return scalar::find_escape_or_non_ascii(p, end);
}

// Copies the bytes of [in, end) to `out` up to the first that needs an
// escape (or, with `non_ascii`, is not ASCII either), and returns that
// byte's place, or `end`. The bytes are copied as they are scanned, so a
// long run is read once. `out` has room for end - in bytes; past the run
// copied, what it holds there is unspecified. `floor` as for
// find_escape_or_non_ascii().
template <bool non_ascii>
inline const char* copy_until(const char* in, const char* end, char* out, const char* floor = nullptr) {
#if defined(__SSE2__)
  for (; end - in >= 16; in += 16, out += 16) {
    const __m128i bytes = sse2::load16(in);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    if (const unsigned bits = sse2::escape_bits16<non_ascii>(bytes)) return in + std::countr_zero(bits);
  }
  if (in == end) return in;
  if (const char* stop = sse2::in_last16<non_ascii>(in, end, floor)) {
    copy_run(out, in, static_cast<std::size_t>(stop - in));
    return stop;
  }
#endif
  (void)floor;
  return scalar::copy_until<non_ascii>(in, end, out);
}

// What the reader may take as it stands.
inline const char* copy_plain_ascii(const char* in, const char* end, char* out, const char* floor = nullptr) {
  return copy_until<true>(in, end, out, floor);
}

// What the serialiser writes as it stands.
inline const char* copy_unescaped(const char* in, const char* end, char* out, const char* floor = nullptr) {
  return copy_until<false>(in, end, out, floor);
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
