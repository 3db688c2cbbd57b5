// Reply texts known when the host is built, joined and proved at compile
// time: a piece of a reply that never changes is written as raw JSON text in
// one copy instead of being scanned for escapes at every request.
//
// needs_no_escape() is the compact serialiser's rule (json/serialize.h): a
// text without '"', '\\' or a character below U+0020 is written as it stands
// between its quotes. Joined<...>::text is the pieces one after another, in
// static storage.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace orvix::protocol {

constexpr bool needs_no_escape(std::string_view text) {
  for (char c : text) {
    if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

template <const std::string_view&... Pieces>
struct Joined {
 private:
  static constexpr std::array<char, (Pieces.size() + ... + 0)> kBytes = [] {
    std::array<char, (Pieces.size() + ... + 0)> bytes{};
    std::size_t at = 0;
    ((Pieces.copy(bytes.data() + at, Pieces.size()), at += Pieces.size()), ...);
    return bytes;
  }();

 public:
  static constexpr std::string_view text{kBytes.data(), kBytes.size()};
};

// `text` as a JSON string, quotes included; refused at compile time when it
// would need an escape.
template <const std::string_view& Text>
struct Quoted {
  static_assert(needs_no_escape(Text), "a fixed text written raw must need no escape");
  static constexpr std::string_view kQuote = "\"";
  static constexpr std::string_view text = Joined<kQuote, Text, kQuote>::text;
};

}  // namespace orvix::protocol
