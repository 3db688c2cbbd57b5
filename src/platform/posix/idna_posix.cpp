// IDNA through libidn2 (idn2_to_ascii_8z, non-transitional TR46 mapping).
//
// Where libidn2 2.3 differs from UTS #46 with the browser parameters:
// - It also applies the IDNA2008 code point rules, so labels with symbols
//   that IDNA2008 disallows but UTS #46 allows (emoji, U+2603 SNOWMAN) fail,
//   including as "xn--" labels that decode to them.
// - Hyphen rules are always checked for non-ASCII labels: a leading or
//   trailing '-', or "--" in the third and fourth places, fail.
// - Length is always checked: a label of more than 63 or a domain of more
//   than 255 bytes after encoding fails.
// All three only make more inputs fail, never change a successful result.
#include "platform/idna.h"

#include <memory>

#include <idn2.h>

namespace orvix::platform {

boost::system::result<std::string, IdnaError> unicode_domain_to_ascii(std::string_view utf8_domain) {
  // libidn2 takes NUL-terminated text; an inner NUL would silently cut it short.
  if (utf8_domain.find('\0') != std::string_view::npos) return IdnaError{"domain contains NUL"};
  const std::string input(utf8_domain);
  char* output = nullptr;
  const int rc = idn2_to_ascii_8z(input.c_str(), &output, IDN2_NONTRANSITIONAL);
  const std::unique_ptr<char, decltype(&idn2_free)> owned(output, &idn2_free);
  if (rc != IDN2_OK) return IdnaError{idn2_strerror(rc)};
  return boost::system::result<std::string, IdnaError>(boost::system::in_place_value, owned.get());
}

}  // namespace orvix::platform
