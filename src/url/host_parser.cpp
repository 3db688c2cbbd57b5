#include "url/host_parser.h"

#include "base/utf8.h"
#include "url/code_points.h"
#include "url/domain_to_ascii.h"
#include "url/ipv4.h"
#include "url/ipv6.h"
#include "url/percent_encode.h"
#include "url/url_errors.h"

namespace orvix::url {

namespace {

Result<std::string> parse_opaque_host(std::string_view input) {
  for (const char c : input) {
    if (is_forbidden_host_code_point(static_cast<unsigned char>(c))) return url_error(kInvalidHostCharacter);
  }
  std::string out;
  append_percent_encoded(out, input, EncodeSet::c0_control);
  return out;
}

}  // namespace

Result<std::string> parse_host(std::string_view input, bool opaque) {
  if (!input.empty() && input.front() == '[') {
    if (input.size() < 2 || input.back() != ']') return url_error(kInvalidIpv6);
    auto address = parse_ipv6(input.substr(1, input.size() - 2));
    if (!address) return address.error();
    return "[" + serialize_ipv6(*address) + "]";
  }
  if (opaque) return parse_opaque_host(input);

  const std::string domain = percent_decode(input);
  // Decoding would turn malformed UTF-8 into U+FFFD, which no domain may hold.
  if (!is_valid_utf8(domain)) return url_error(kInvalidDomain);
  auto ascii = domain_to_ascii(domain);
  if (!ascii) return ascii.error();
  if (ends_in_a_number(*ascii)) {
    auto address = parse_ipv4(*ascii);
    if (!address) return address.error();
    return serialize_ipv4(*address);
  }
  return ascii;
}

}  // namespace orvix::url
