#include "url/percent_encode.h"

#include "url/code_points.h"

namespace orvix::url {

bool in_encode_set(unsigned char c, EncodeSet set) {
  if (c <= 0x1F || c > 0x7E) return true;  // the C0 control set is in every set
  switch (set) {
    case EncodeSet::c0_control: return false;
    case EncodeSet::fragment: return c == ' ' || c == '"' || c == '<' || c == '>' || c == '`';
    case EncodeSet::query: return c == ' ' || c == '"' || c == '#' || c == '<' || c == '>';
    case EncodeSet::special_query: return in_encode_set(c, EncodeSet::query) || c == '\'';
    case EncodeSet::path:
      return in_encode_set(c, EncodeSet::query) || c == '?' || c == '^' || c == '`' || c == '{' || c == '}';
    case EncodeSet::userinfo:
      return in_encode_set(c, EncodeSet::path) || c == '/' || c == ':' || c == ';' || c == '=' || c == '@' ||
             (c >= '[' && c <= '^') || c == '|';
  }
  return true;
}

void append_percent_encoded(std::string& out, unsigned char c, EncodeSet set) {
  if (!in_encode_set(c, set)) {
    out.push_back(static_cast<char>(c));
    return;
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  out.push_back('%');
  out.push_back(kHex[c >> 4]);
  out.push_back(kHex[c & 0xF]);
}

void append_percent_encoded(std::string& out, std::string_view text, EncodeSet set) {
  for (const char c : text) append_percent_encoded(out, static_cast<unsigned char>(c), set);
}

namespace {

unsigned hex_value(unsigned char c) { return is_ascii_digit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }

}  // namespace

std::string percent_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '%' && i + 2 < text.size() && is_ascii_hex_digit(text[i + 1]) && is_ascii_hex_digit(text[i + 2])) {
      out.push_back(static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2])));
      i += 2;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

}  // namespace orvix::url
