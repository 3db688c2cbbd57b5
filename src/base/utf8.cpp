#include "base/utf8.h"

namespace orvix {

std::size_t valid_utf8_prefix(std::string_view bytes) {
  const char* const begin = bytes.data();
  const char* const end = begin + bytes.size();
  const char* p = begin;
  while (p < end) {
    if (static_cast<unsigned char>(*p) < 0x80) {
      ++p;
      continue;
    }
    const std::size_t length = utf8_sequence_length(p, end);
    if (length == 0) break;
    p += length;
  }
  return static_cast<std::size_t>(p - begin);
}

bool is_valid_utf8(std::string_view bytes) { return valid_utf8_prefix(bytes) == bytes.size(); }

}  // namespace orvix
