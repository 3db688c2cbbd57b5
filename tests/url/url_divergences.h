// URL conformance cases whose outcome this build's IDNA library changes,
// each with the reason: one list per platform (posix/ and win32/), since
// each uses its system's library.
#pragma once

#include <map>
#include <string>

namespace orvix::url {

extern const std::map<std::string, std::string> kDivergences;

}  // namespace orvix::url
