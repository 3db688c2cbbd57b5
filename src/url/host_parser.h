// The host of a URL, from the text between "//" (and any credentials) and
// the port or path, to its serialised form.
//
// "[...]" is an IPv6 address, serialised back with its brackets. Otherwise,
// for special schemes (opaque = false) the text is percent-decoded and
// becomes an ASCII domain, or a dotted IPv4 address when its last label is
// a number; for other schemes (opaque = true) it is kept as it is, with
// controls and non-ASCII percent-encoded. Failures: the texts of
// url_errors.h for IPv6, IPv4, domains and (opaque) "invalid host character".
// The text must not be empty unless opaque.
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"

namespace orvix::url {

[[nodiscard]] Result<std::string> parse_host(std::string_view input, bool opaque);

}  // namespace orvix::url
