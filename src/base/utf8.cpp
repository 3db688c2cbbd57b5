#include "base/utf8.h"

#include <cstdint>
#include <cstring>

namespace orvix {

namespace {
bool ascii_word(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, 8);
  return (word & 0x8080808080808080u) == 0;
}
}  // namespace

std::size_t valid_utf8_prefix(std::string_view bytes) {
  const char* const begin = bytes.data();
  const char* const end = begin + bytes.size();
  const char* p = begin;
  while (p < end) {
    // Eight ASCII bytes at a time, the last few through the word that ends
    // with them (its bytes before `p` are checked already): the texts checked
    // whole here (paths from the environment, descriptors) are mostly ASCII.
    if (end - p >= 8) {
      if (ascii_word(p)) {
        p += 8;
        continue;
      }
    } else if (end - begin >= 8 && ascii_word(end - 8)) {
      p = end;
      break;
    }
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
