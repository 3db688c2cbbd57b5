#include "url/url_divergences.h"

namespace orvix::url {

// libidn2 is stricter than UTS #46 with the browser parameters (see
// src/platform/posix/idna_posix.cpp).
const std::map<std::string, std::string> kDivergences = {
    {"ftp://%e2%98%83",
     "libidn2 applies IDNA2008 code point rules: U+2603 SNOWMAN is disallowed there, valid in UTS #46"},
    {"https://%e2%98%83",
     "libidn2 applies IDNA2008 code point rules: U+2603 SNOWMAN is disallowed there, valid in UTS #46"},
};

}  // namespace orvix::url
