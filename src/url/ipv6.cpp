#include "url/ipv6.h"

#include <optional>
#include <utility>

#include "url/code_points.h"
#include "url/url_errors.h"

namespace orvix::url {

namespace {

unsigned hex_value(unsigned char c) { return is_ascii_digit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }

// Reads text one character at a time; the end reads as 0, which no branch
// below accepts as a digit or separator.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  bool at_end() const { return pos_ >= text_.size(); }
  unsigned char peek(std::size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? static_cast<unsigned char>(text_[pos_ + ahead]) : 0;
  }
  void advance(std::size_t n = 1) { pos_ += n; }
  void back(std::size_t n) { pos_ -= n; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// Dotted IPv4 filling address[piece] and address[piece + 1]; false when malformed.
bool parse_embedded_ipv4(Cursor& in, Ipv6Address& address, std::size_t& piece) {
  int numbers_seen = 0;
  while (!in.at_end()) {
    if (numbers_seen > 0) {
      if (in.peek() != '.' || numbers_seen >= 4) return false;
      in.advance();
    }
    if (!is_ascii_digit(in.peek())) return false;
    std::optional<unsigned> value;
    while (is_ascii_digit(in.peek())) {
      const unsigned digit = in.peek() - '0';
      if (value == 0u) return false;  // no leading zeros
      value = value ? *value * 10 + digit : digit;
      if (*value > 255) return false;
      in.advance();
    }
    address[piece] = static_cast<std::uint16_t>(address[piece] * 0x100 + *value);
    ++numbers_seen;
    if (numbers_seen == 2 || numbers_seen == 4) ++piece;
  }
  return numbers_seen == 4;
}

}  // namespace

Result<Ipv6Address> parse_ipv6(std::string_view text) {
  Ipv6Address address{};
  std::size_t piece = 0;
  std::optional<std::size_t> compress;
  Cursor in(text);
  if (in.peek() == ':') {
    if (in.peek(1) != ':') return url_error(kInvalidIpv6);
    in.advance(2);
    compress = ++piece;
  }
  while (!in.at_end()) {
    if (piece == 8) return url_error(kInvalidIpv6);
    if (in.peek() == ':') {
      if (compress) return url_error(kInvalidIpv6);
      in.advance();
      compress = ++piece;
      continue;
    }
    unsigned value = 0;
    std::size_t length = 0;
    while (length < 4 && is_ascii_hex_digit(in.peek())) {
      value = value * 0x10 + hex_value(in.peek());
      in.advance();
      ++length;
    }
    if (in.peek() == '.') {
      if (length == 0 || piece > 6) return url_error(kInvalidIpv6);
      in.back(length);
      if (!parse_embedded_ipv4(in, address, piece)) return url_error(kInvalidIpv6);
      break;
    }
    if (in.peek() == ':') {
      in.advance();
      if (in.at_end()) return url_error(kInvalidIpv6);
    } else if (!in.at_end()) {
      return url_error(kInvalidIpv6);
    }
    address[piece++] = static_cast<std::uint16_t>(value);
  }
  if (compress) {
    // Move the pieces after "::" to the end; the zeros land in between.
    std::size_t swaps = piece - *compress;
    for (std::size_t i = 7; i != 0 && swaps > 0; --i, --swaps) {
      std::swap(address[i], address[*compress + swaps - 1]);
    }
  } else if (piece != 8) {
    return url_error(kInvalidIpv6);
  }
  return address;
}

std::string serialize_ipv6(const Ipv6Address& address) {
  // The first longest run of zero pieces, if it is at least two long.
  std::optional<std::size_t> compress;
  std::size_t best_length = 1;
  for (std::size_t i = 0; i < 8;) {
    std::size_t end = i;
    while (end < 8 && address[end] == 0) ++end;
    if (end - i > best_length) {
      best_length = end - i;
      compress = i;
    }
    i = end == i ? i + 1 : end;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < 8; ++i) {
    if (compress && i == *compress) {
      out += i == 0 ? "::" : ":";
      i += best_length - 1;
      continue;
    }
    bool leading = true;
    for (int shift = 12; shift >= 0; shift -= 4) {
      const unsigned nibble = (address[i] >> shift) & 0xF;
      if (leading && nibble == 0 && shift > 0) continue;
      leading = false;
      out.push_back(kHex[nibble]);
    }
    if (i != 7) out.push_back(':');
  }
  return out;
}

}  // namespace orvix::url
