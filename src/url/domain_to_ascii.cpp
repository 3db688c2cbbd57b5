#include "url/domain_to_ascii.h"

#include <algorithm>

#include "platform/idna.h"
#include "url/code_points.h"
#include "url/url_errors.h"

namespace orvix::url {

namespace {

bool is_ascii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool starts_with_ace_prefix(std::string_view label) {
  return label.size() >= 4 && (label[0] | 0x20) == 'x' && (label[1] | 0x20) == 'n' && label[2] == '-' &&
         label[3] == '-';
}

bool has_ace_label(std::string_view domain) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = domain.find('.', start);
    if (starts_with_ace_prefix(domain.substr(start, dot - start))) return true;
    if (dot == std::string_view::npos) return false;
    start = dot + 1;
  }
}

}  // namespace

Result<std::string> domain_to_ascii(std::string_view utf8_domain) {
  std::string ascii;
  if (is_ascii(utf8_domain) && !has_ace_label(utf8_domain)) {
    // For such input UTS #46 only maps upper case to lower case; skipping the
    // library also keeps its length and hyphen checks off ASCII names.
    ascii.reserve(utf8_domain.size());
    for (const char c : utf8_domain) ascii.push_back(static_cast<char>(ascii_lower(c)));
  } else {
    auto converted = platform::unicode_domain_to_ascii(utf8_domain);
    if (!converted) return url_error(kInvalidDomain);
    ascii = std::move(*converted);
  }
  if (ascii.empty()) return url_error(kInvalidDomain);
  for (const char c : ascii) {
    if (is_forbidden_domain_code_point(static_cast<unsigned char>(c))) return url_error(kInvalidDomainCharacter);
  }
  return ascii;
}

}  // namespace orvix::url
