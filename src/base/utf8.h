// UTF-8 validation (RFC 3629: no overlong forms, no surrogates, at most
// U+10FFFF), written once for every reader of text: the JSON readers take a
// sequence at a time on their hot path (hence inline here), the rest check a
// whole text.
#pragma once

#include <cstddef>
#include <string_view>

namespace orvix {

// Length of the valid UTF-8 sequence at `p`, whose lead byte is not ASCII, or
// 0. A sequence never takes in an ASCII byte, so a quote or backslash always
// stays visible to a scan that steps over sequences.
inline std::size_t utf8_sequence_length(const char* p, const char* end) {
  const auto lead = static_cast<unsigned char>(p[0]);
  std::size_t length = 0;
  unsigned char low = 0x80;  // bounds of the second byte
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong form
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlong form
    if (lead == 0xF4) high = 0x8F;  // at most U+10FFFF
  } else {
    return 0;
  }
  if (end - p < static_cast<std::ptrdiff_t>(length)) return 0;
  const auto second = static_cast<unsigned char>(p[1]);
  if (second < low || second > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

bool is_valid_utf8(std::string_view bytes);

// Length of the longest valid UTF-8 prefix of `bytes`.
std::size_t valid_utf8_prefix(std::string_view bytes);

}  // namespace orvix
