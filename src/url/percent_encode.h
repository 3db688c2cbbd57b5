// Percent-encoding and -decoding of UTF-8 text, byte by byte.
//
// Encoding a code point's UTF-8 bytes one at a time gives the same text as
// encoding the code point, because every set below contains all non-ASCII
// code points.
#pragma once

#include <string>
#include <string_view>

namespace orvix::url {

// The sets are nested: each one contains the one before it, except that
// fragment and query are siblings built on c0_control.
enum class EncodeSet { c0_control, fragment, query, special_query, path, userinfo };

bool in_encode_set(unsigned char c, EncodeSet set);

// Appends c to out, as "%XX" (upper-case hex) when c is in the set.
void append_percent_encoded(std::string& out, unsigned char c, EncodeSet set);

// Every byte of text through append_percent_encoded.
void append_percent_encoded(std::string& out, std::string_view text, EncodeSet set);

// "%XX" with two hex digits becomes that byte; any other '%' stays as it is.
std::string percent_decode(std::string_view text);

}  // namespace orvix::url
