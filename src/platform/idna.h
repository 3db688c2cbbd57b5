// Internationalised domain names to ASCII: Unicode UTS #46 processing
// (mapping, normalisation, validity checks, Punycode for non-ASCII labels)
// with the parameters browsers use: non-transitional, STD3 rules off,
// CheckBidi and CheckJoiners on.
//
// Takes a UTF-8 domain (labels separated by '.', U+3002, U+FF0E or U+FF61)
// and returns its lower-case ASCII form, which may be empty. A failure
// (kInvalidInput) names what the underlying library objected to; callers
// show their own text.
//
// Each platform uses its system's IDNA library, so the edges differ slightly
// from the standard; idna_posix.cpp / idna_win32.cpp document their own.
// Pure computation, no I/O.
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"

namespace orvix::platform {

[[nodiscard]] Result<std::string> unicode_domain_to_ascii(std::string_view utf8_domain);

}  // namespace orvix::platform
