#include "json/text_rules.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace orvix::json {

std::optional<Number> number_value(std::string_view token, bool integer) {
  Number out;
  const char* const begin = token.data();
  const char* const end = begin + token.size();
  if (integer) {
    const bool negative = *begin == '-';
    const char* const digits = negative ? begin + 1 : begin;
    if (end - digits <= 19) {
      // Up to 19 digits never overflow a uint64.
      std::uint64_t magnitude = 0;
      for (const char* d = digits; d != end; ++d) magnitude = magnitude * 10 + static_cast<unsigned>(*d - '0');
      if (!negative) {
        out.kind = Number::Kind::kUnsigned;
        out.u = magnitude;
        return out;
      }
      if (magnitude != 0 && magnitude <= std::uint64_t{1} << 63) {
        out.kind = Number::Kind::kSigned;
        out.i = static_cast<std::int64_t>(0 - magnitude);
        return out;
      }
    } else if (!negative) {
      std::uint64_t u = 0;
      const auto [stop, error] = std::from_chars(digits, end, u);
      if (error == std::errc() && stop == end) {
        out.kind = Number::Kind::kUnsigned;
        out.u = u;
        return out;
      }
    }
  }
  double d = 0;
  const auto [stop, error] = std::from_chars(begin, end, d);
  if (error != std::errc() || stop != end) {
    // from_chars reports overflow and underflow alike; strtod tells them apart.
    const std::string copy(token);
    d = std::strtod(copy.c_str(), nullptr);
  }
  if (std::isinf(d)) return std::nullopt;
  out.kind = Number::Kind::kDouble;
  out.d = d;
  return out;
}

}  // namespace orvix::json
