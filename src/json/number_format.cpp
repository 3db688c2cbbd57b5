#include "json/number_format.h"

#include <charconv>
#include <cmath>

namespace orvix::json {

namespace {

// The shortest decimal digits d1d2...dn and the position of the decimal
// point relative to them: value = 0.d1...dn * 10^point. No heap allocation:
// this runs for every double of every reply.
struct Decimal {
  bool negative = false;
  char digits[24];
  int length = 0;
  int point = 0;
};

Decimal shortest_decimal(double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  const char* p = buffer;
  const char* end = result.ptr;
  Decimal decimal;
  if (*p == '-') {
    decimal.negative = true;
    ++p;
  }
  for (; p < end && *p != 'e'; ++p) {
    if (*p != '.') decimal.digits[decimal.length++] = *p;
  }
  int exponent = 0;
  if (p < end) std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
  decimal.point = exponent + 1;
  return decimal;
}

void append_zeros(std::string& out, int count) {
  if (count > 0) out.append(static_cast<std::size_t>(count), '0');
}

}  // namespace

void append_double(double value, std::string& out) {
  if (value == 0) {
    out.append(std::signbit(value) ? "-0.0" : "0.0");
    return;
  }
  const Decimal d = shortest_decimal(value);
  if (d.negative) out.push_back('-');
  const int length = d.length;
  const int point = d.point;
  const char* digits = d.digits;
  if (length <= point && point <= 16) {  // 1234e7 -> 12340000000.0
    out.append(digits, static_cast<std::size_t>(length));
    append_zeros(out, point - length);
    out.append(".0");
  } else if (0 < point && point <= 16) {  // 1234e-2 -> 12.34
    out.append(digits, static_cast<std::size_t>(point));
    out.push_back('.');
    out.append(digits + point, static_cast<std::size_t>(length - point));
  } else if (-5 < point && point <= 0) {  // 1234e-6 -> 0.001234
    out.append("0.");
    append_zeros(out, -point);
    out.append(digits, static_cast<std::size_t>(length));
  } else {  // 1234e30 -> 1.234e33
    out.push_back(digits[0]);
    if (length > 1) {
      out.push_back('.');
      out.append(digits + 1, static_cast<std::size_t>(length - 1));
    }
    out.push_back('e');
    char exponent[8];
    auto written = std::to_chars(exponent, exponent + sizeof exponent, point - 1);
    out.append(exponent, written.ptr);
  }
}

std::string positional_double(double value) {
  std::string out;
  if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : (value < 0 ? "-inf" : "inf");
  if (value == 0) return std::signbit(value) ? "-0.0" : "0.0";
  const Decimal d = shortest_decimal(value);
  if (d.negative) out.push_back('-');
  const int length = d.length;
  if (d.point <= 0) {
    out.append("0.");
    append_zeros(out, -d.point);
    out.append(d.digits, static_cast<std::size_t>(length));
  } else if (d.point >= length) {
    out.append(d.digits, static_cast<std::size_t>(length));
    append_zeros(out, d.point - length);
    out.append(".0");
  } else {
    out.append(d.digits, static_cast<std::size_t>(d.point));
    out.push_back('.');
    out.append(d.digits + d.point, static_cast<std::size_t>(length - d.point));
  }
  return out;
}

}  // namespace orvix::json
