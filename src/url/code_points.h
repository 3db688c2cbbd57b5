// Character classes of the URL grammar, on single bytes of UTF-8 text. Every
// class here is ASCII-only, so a byte of a multi-byte sequence (>= 0x80) is
// never a member.
#pragma once

namespace orvix::url {

constexpr bool is_ascii_digit(unsigned char c) { return c >= '0' && c <= '9'; }
constexpr bool is_ascii_alpha(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
constexpr bool is_ascii_alphanumeric(unsigned char c) { return is_ascii_digit(c) || is_ascii_alpha(c); }
constexpr bool is_ascii_hex_digit(unsigned char c) {
  return is_ascii_digit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}
constexpr unsigned char ascii_lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// What may never appear in a host, opaque or not.
constexpr bool is_forbidden_host_code_point(unsigned char c) {
  switch (c) {
    case 0x00:
    case '\t':
    case '\n':
    case '\r':
    case ' ':
    case '#':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '@':
    case '[':
    case '\\':
    case ']':
    case '^':
    case '|': return true;
    default: return false;
  }
}

// What may never appear in a domain once it is ASCII.
constexpr bool is_forbidden_domain_code_point(unsigned char c) {
  return is_forbidden_host_code_point(c) || c <= 0x1F || c == '%' || c == 0x7F;
}

}  // namespace orvix::url
