// The rules of JSON text that both readers follow: the one-pass reader
// (tree_reader.h), which only says whether a text is valid, and the tokenizer
// (tokenizer.h), which names a fault and its place. Each rule is written once
// here, so the two cannot drift apart; where a rule finds a fault it says
// which one and the byte it is placed after, and each reader reports that in
// its own way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/utf8.h"  // utf8_sequence_length(), the one UTF-8 table

namespace orvix::json {

// JSON whitespace: space, tab, line feed, carriage return (nothing else).
constexpr bool is_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The value of a hexadecimal digit of either case, or -1.
constexpr int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Writes `code_point` (at most U+10FFFF, not a surrogate) as UTF-8 at `out`
// and returns the end of what it wrote (one to four bytes).
inline char* encode_utf8(std::uint32_t code_point, char* out) {
  if (code_point < 0x80) {
    *out++ = static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    *out++ = static_cast<char>(0xC0 | (code_point >> 6));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (code_point >> 12));
    *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (code_point >> 18));
    *out++ = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  }
  return out;
}

// The byte a one-letter escape stands for (\" \\ \/ \b \f \n \r \t), or -1
// for any other letter, 'u' included.
constexpr int simple_escape(char letter) {
  switch (letter) {
    case '"': return '"';
    case '\\': return '\\';
    case '/': return '/';
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return -1;
  }
}

// What went wrong in a \u escape.
enum class EscapeFault {
  kNone,
  kEndOfText,           // the text ends inside it
  kInvalidHex,          // one of the four digits is not hexadecimal
  kLoneSurrogate,       // a trailing surrogate first, or a leading one followed by no trailing one
  kExpectedSecondHalf,  // a leading surrogate not followed by "\u"
};

struct UnicodeEscape {
  EscapeFault fault = EscapeFault::kNone;
  std::uint32_t code_point = 0;
  // Past the escape; at a fault, the byte after which the fault is placed.
  const char* end = nullptr;
};

// The four hex digits at `p` (the "\u" is read), or the fault: when fewer than
// four bytes are left it is placed at `end`, otherwise after the four.
inline UnicodeEscape read_hex4(const char* p, const char* end) {
  if (end - p < 4) return {EscapeFault::kEndOfText, 0, end};
  UnicodeEscape read{EscapeFault::kNone, 0, p + 4};
  for (int k = 0; k < 4; ++k) {
    const int digit = hex_value(p[k]);
    if (digit < 0) read.fault = EscapeFault::kInvalidHex;
    read.code_point = read.code_point << 4 | static_cast<std::uint32_t>(digit & 0xF);
  }
  return read;
}

// The escape whose "\u" has been read, `p` at its first hex digit. A code
// point beyond the basic plane is written as a leading surrogate escape and
// a trailing one; a surrogate alone is refused.
inline UnicodeEscape read_unicode_escape(const char* p, const char* end) {
  UnicodeEscape first = read_hex4(p, end);
  if (first.fault != EscapeFault::kNone) return first;
  const std::uint32_t lead = first.code_point;
  if (lead >= 0xDC00 && lead <= 0xDFFF) return {EscapeFault::kLoneSurrogate, 0, first.end};
  if (lead < 0xD800 || lead > 0xDBFF) return first;
  p = first.end;
  for (const char expected : {'\\', 'u'}) {
    if (p == end) return {EscapeFault::kEndOfText, 0, end};
    if (*p++ != expected) return {EscapeFault::kExpectedSecondHalf, 0, p};
  }
  UnicodeEscape second = read_hex4(p, end);
  if (second.fault != EscapeFault::kNone) return second;
  const std::uint32_t trail = second.code_point;
  if (trail < 0xDC00 || trail > 0xDFFF) return {EscapeFault::kLoneSurrogate, 0, second.end};
  return {EscapeFault::kNone, (((lead - 0xD800) << 10) | (trail - 0xDC00)) + 0x10000, second.end};
}

// What went wrong in a number.
enum class NumberFault {
  kNone,
  kEndOfText,  // the text ends where a digit is required
  kInvalid,    // another byte where a digit is required, or a leading zero before a digit
};

struct Number {
  enum class Kind { kUnsigned, kSigned, kDouble };
  Kind kind = Kind::kUnsigned;
  std::uint64_t u = 0;
  std::int64_t i = 0;
  double d = 0;
};

struct NumberToken {
  NumberFault fault = NumberFault::kNone;
  // Neither fraction nor exponent.
  bool integer = true;
  // Past the last digit; at a fault, the byte after which it is placed.
  const char* end = nullptr;
};

// The number at `p` (before `end`): -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
// It ends at its last digit; the byte after it is the caller's to judge.
inline NumberToken scan_number(const char* p, const char* end) {
  NumberToken token;
  if (*p == '-') ++p;
  if (p == end) return {NumberFault::kEndOfText, true, p};
  const char first = *p++;
  if (first == '0') {
    if (p != end && is_digit(*p)) return {NumberFault::kInvalid, true, p + 1};
  } else if (first >= '1' && first <= '9') {
    while (p != end && is_digit(*p)) ++p;
  } else {
    return {NumberFault::kInvalid, true, p};
  }
  if (p != end && *p == '.') {
    ++p;
    const char* const fraction = p;
    while (p != end && is_digit(*p)) ++p;
    if (p == fraction) {
      if (p == end) return {NumberFault::kEndOfText, false, p};
      return {NumberFault::kInvalid, false, p + 1};
    }
    token.integer = false;
  }
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p != end && (*p == '+' || *p == '-')) ++p;
    if (p == end) return {NumberFault::kEndOfText, false, p};
    if (!is_digit(*p++)) return {NumberFault::kInvalid, false, p};
    while (p != end && is_digit(*p)) ++p;
    token.integer = false;
  }
  token.end = p;
  return token;
}

// The value of a number token that scan_number() accepted: a uint64 when it
// is a non-negative integer that fits, an int64 when a negative one fits
// (-0 is not a negative integer: it stays the double -0.0), else the
// correctly rounded double. Nothing when its magnitude is beyond a double.
std::optional<Number> number_value(std::string_view token, bool integer);

// The number at `p` (a '-' or a digit) and its value, for the readers that
// only accept or refuse: `p` moves past it. Nothing when the token is
// malformed or its magnitude beyond a double (`p` then unspecified).
inline std::optional<Number> read_number(const char*& p, const char* end) {
  const char* const start = p;
  const NumberToken token = scan_number(p, end);
  if (token.fault != NumberFault::kNone) return std::nullopt;
  p = token.end;
  return number_value(std::string_view(start, static_cast<std::size_t>(p - start)), token.integer);
}

}  // namespace orvix::json
