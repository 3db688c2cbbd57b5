#include "url/url_divergences.h"

namespace orvix::url {

// IdnToAscii follows the older IDNA2003 processing (see
// src/platform/win32/idna_win32.cpp).
const std::map<std::string, std::string> kDivergences = {
    {"https://fa\xC3\x9F.ExAmPlE/",
     "IdnToAscii maps transitionally: \xC3\x9F becomes \"ss\" (fass.example) where UTS #46 keeps it"},
};

}  // namespace orvix::url
