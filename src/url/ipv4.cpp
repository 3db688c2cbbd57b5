#include "url/ipv4.h"

#include <optional>
#include <vector>

#include "url/code_points.h"
#include "url/url_errors.h"

namespace orvix::url {

namespace {

// No part may exceed 2^32 - 1, so saturating here keeps every larger value
// just as invalid without overflowing on long digit strings.
constexpr std::uint64_t kSaturated = std::uint64_t{1} << 33;

// One part's value; nothing when it holds a character its radix forbids or is empty.
std::optional<std::uint64_t> parse_ipv4_number(std::string_view part) {
  if (part.empty()) return std::nullopt;
  unsigned radix = 10;
  if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
    part.remove_prefix(2);
    radix = 16;
  } else if (part.size() >= 2 && part[0] == '0') {
    part.remove_prefix(1);
    radix = 8;
  }
  std::uint64_t value = 0;
  for (const char ch : part) {
    const auto c = static_cast<unsigned char>(ch);
    unsigned digit;
    if (is_ascii_digit(c)) {
      digit = c - '0';
    } else if (radix == 16 && is_ascii_hex_digit(c)) {
      digit = (c | 0x20) - 'a' + 10;
    } else {
      return std::nullopt;
    }
    if (digit >= radix) return std::nullopt;
    value = value * radix + digit;
    if (value > kSaturated) value = kSaturated;
  }
  return value;  // "0x" alone is 0
}

std::vector<std::string_view> split_on_dots(std::string_view text) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = text.find('.', start);
    parts.push_back(text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (dot == std::string_view::npos) return parts;
    start = dot + 1;
  }
}

}  // namespace

bool ends_in_a_number(std::string_view domain) {
  std::vector<std::string_view> parts = split_on_dots(domain);
  if (parts.back().empty()) {
    if (parts.size() == 1) return false;
    parts.pop_back();
  }
  const std::string_view last = parts.back();
  bool all_digits = !last.empty();
  for (const char c : last) all_digits = all_digits && is_ascii_digit(c);
  return all_digits || parse_ipv4_number(last).has_value();
}

Result<std::uint32_t> parse_ipv4(std::string_view text) {
  std::vector<std::string_view> parts = split_on_dots(text);
  if (parts.back().empty() && parts.size() > 1) parts.pop_back();
  if (parts.size() > 4) return url_error(kInvalidIpv4);
  std::vector<std::uint64_t> numbers;
  for (const std::string_view part : parts) {
    const std::optional<std::uint64_t> number = parse_ipv4_number(part);
    if (!number) return url_error(kInvalidIpv4);
    numbers.push_back(*number);
  }
  for (std::size_t i = 0; i + 1 < numbers.size(); ++i) {
    if (numbers[i] > 255) return url_error(kInvalidIpv4);
  }
  // The last part fills the bytes the earlier parts left: 5 - count of them.
  const unsigned last_bytes = 5 - static_cast<unsigned>(numbers.size());
  if (numbers.back() >= (std::uint64_t{1} << (8 * last_bytes))) return url_error(kInvalidIpv4);
  std::uint64_t address = numbers.back();
  for (std::size_t i = 0; i + 1 < numbers.size(); ++i) address += numbers[i] << (8 * (3 - i));
  return static_cast<std::uint32_t>(address);
}

std::string serialize_ipv4(std::uint32_t address) {
  std::string out;
  for (int shift = 24; shift >= 0; shift -= 8) {
    out += std::to_string((address >> shift) & 0xFF);
    if (shift > 0) out.push_back('.');
  }
  return out;
}

}  // namespace orvix::url
