#include "json/number_format.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace orvix::json {

namespace {

// The shortest decimal digits d1d2...dn and exponent k with value = 0.d1...dn * 10^k.
struct Decimal {
  bool negative = false;
  std::string digits;
  int point = 0;  // position of the decimal point relative to the digits
};

Decimal shortest_decimal(double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  Decimal decimal;
  if (!text.empty() && text.front() == '-') {
    decimal.negative = true;
    text.remove_prefix(1);
  }
  const std::size_t e = text.find('e');
  for (char c : text.substr(0, e)) {
    if (c != '.') decimal.digits.push_back(c);
  }
  const int exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
  decimal.point = exponent + 1;
  return decimal;
}

}  // namespace

void append_double(double value, std::string& out) {
  if (value == 0) {
    out.append(std::signbit(value) ? "-0.0" : "0.0");
    return;
  }
  const Decimal d = shortest_decimal(value);
  if (d.negative) out.push_back('-');
  const int length = static_cast<int>(d.digits.size());
  const int point = d.point;
  if (length <= point && point <= 16) {  // 1234e7 -> 12340000000.0
    out.append(d.digits);
    out.append(static_cast<std::size_t>(point - length), '0');
    out.append(".0");
  } else if (0 < point && point <= 16) {  // 1234e-2 -> 12.34
    out.append(d.digits, 0, static_cast<std::size_t>(point));
    out.push_back('.');
    out.append(d.digits, static_cast<std::size_t>(point));
  } else if (-5 < point && point <= 0) {  // 1234e-6 -> 0.001234
    out.append("0.");
    out.append(static_cast<std::size_t>(-point), '0');
    out.append(d.digits);
  } else {  // 1234e30 -> 1.234e33
    out.push_back(d.digits[0]);
    if (length > 1) {
      out.push_back('.');
      out.append(d.digits, 1);
    }
    out.push_back('e');
    out.append(std::to_string(point - 1));
  }
}

std::string positional_double(double value) {
  std::string out;
  if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : (value < 0 ? "-inf" : "inf");
  if (value == 0) return std::signbit(value) ? "-0.0" : "0.0";
  const Decimal d = shortest_decimal(value);
  if (d.negative) out.push_back('-');
  const int length = static_cast<int>(d.digits.size());
  if (d.point <= 0) {
    out.append("0.");
    out.append(static_cast<std::size_t>(-d.point), '0');
    out.append(d.digits);
  } else if (d.point >= length) {
    out.append(d.digits);
    out.append(static_cast<std::size_t>(d.point - length), '0');
    out.append(".0");
  } else {
    out.append(d.digits, 0, static_cast<std::size_t>(d.point));
    out.push_back('.');
    out.append(d.digits, static_cast<std::size_t>(d.point));
  }
  return out;
}

}  // namespace orvix::json
