// UTF-8 validation (RFC 3629: no overlong forms, no surrogates, at most U+10FFFF).
#pragma once

#include <string_view>

namespace orvix {

bool is_valid_utf8(std::string_view bytes);

// Length of the longest valid UTF-8 prefix of `bytes`.
std::size_t valid_utf8_prefix(std::string_view bytes);

}  // namespace orvix
