#include "bridge/handshake_target.h"

#include <algorithm>

namespace orvix::bridge {

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// True when `text` holds only unreserved characters, sub-delims, "%" escapes
// with two hex digits and the characters of `also`.
bool keeps_to(std::string_view text, std::string_view also) {
  constexpr std::string_view kMarks = "-._~!$&'()*+,;=";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (text.size() - i < 3 || !is_hex_digit(text[i + 1]) || !is_hex_digit(text[i + 2])) return false;
      i += 2;
    } else if (!is_alpha(c) && !is_digit(c) && kMarks.find(c) == npos && also.find(c) == npos) {
      return false;
    }
  }
  return true;
}

bool is_scheme(std::string_view text) {
  return !text.empty() && is_alpha(text[0]) && std::all_of(text.begin(), text.end(), [](char c) {
    return is_alpha(c) || is_digit(c) || c == '+' || c == '-' || c == '.';
  });
}

// "[" IPv6address "]" or "[" "v" 1*HEXDIG "." 1*( unreserved / sub-delims / ":" ) "]".
bool is_ip_literal(std::string_view text) {
  if (text.size() < 3 || text.front() != '[' || text.back() != ']') return false;
  const std::string_view inside = text.substr(1, text.size() - 2);
  if (inside[0] == 'v' || inside[0] == 'V') {
    const std::size_t dot = inside.find('.');
    if (dot == npos || dot < 2 || dot + 1 == inside.size()) return false;
    const std::string_view version = inside.substr(1, dot - 1);
    const std::string_view address = inside.substr(dot + 1);
    return std::all_of(version.begin(), version.end(), is_hex_digit) && address.find('%') == npos &&
           keeps_to(address, ":");
  }
  return inside.find(':') != npos &&
         std::all_of(inside.begin(), inside.end(), [](char c) { return is_hex_digit(c) || c == ':' || c == '.'; });
}

RuntimeError refused(std::string_view part) {
  return {RuntimeErrorCode::ws_handshake_failed, "WebSocket URL is not a valid absolute URI: bad " + std::string(part)};
}

RuntimeError no_host() {
  return {RuntimeErrorCode::ws_handshake_failed, "WebSocket URL has no host for the handshake"};
}

}  // namespace

Result<HandshakeTarget, RuntimeError> handshake_target_from_url(std::string_view ws_url) {
  const std::size_t scheme_end = ws_url.find(':');
  if (scheme_end == npos || !is_scheme(ws_url.substr(0, scheme_end))) return refused("scheme");
  std::string_view rest = ws_url.substr(scheme_end + 1);
  if (!rest.starts_with("//")) return no_host();
  rest.remove_prefix(2);

  const std::size_t authority_end = std::min(rest.find_first_of("/?#"), rest.size());
  const std::string_view authority = rest.substr(0, authority_end);
  rest.remove_prefix(authority_end);

  const std::size_t at = authority.rfind('@');
  if (at != npos && !keeps_to(authority.substr(0, at), ":")) return refused("user information");
  const std::string_view host_and_port = at == npos ? authority : authority.substr(at + 1);
  // An IP literal ends with its "]"; a registered name never holds a ":".
  std::size_t host_end = host_and_port.find(':');
  if (host_and_port.starts_with('[')) host_end = std::min(host_and_port.find(']'), host_and_port.size() - 1) + 1;
  const std::string_view host = host_and_port.substr(0, host_end);
  const std::string_view port = host_and_port.substr(host.size());
  if (host.empty()) return no_host();
  if (host.front() == '[' ? !is_ip_literal(host) : !keeps_to(host, "")) return refused("host");
  if (!port.empty() && (port[0] != ':' || !std::all_of(port.begin() + 1, port.end(), is_digit))) {
    return refused("port");
  }

  const std::size_t fragment_start = rest.find('#');
  if (fragment_start != npos && !keeps_to(rest.substr(fragment_start + 1), ":@/?")) return refused("fragment");
  rest = rest.substr(0, fragment_start);
  const std::size_t query_start = rest.find('?');
  const std::string_view path = rest.substr(0, query_start);
  if (!keeps_to(path, ":@/")) return refused("path");
  if (query_start != npos && !keeps_to(rest.substr(query_start + 1), ":@/?")) return refused("query");

  HandshakeTarget result{std::string(host_and_port), path.empty() ? std::string("/") : std::string(path)};
  if (query_start != npos) result.target += rest.substr(query_start);
  return result;
}

}  // namespace orvix::bridge
