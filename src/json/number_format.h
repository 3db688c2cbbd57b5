// Shortest round-trip text for doubles, in the two layouts the host writes.
#pragma once

#include <string>

namespace orvix::json {

// JSON layout: positional for moderate exponents ("1.0", "0.001", "12.5"),
// scientific beyond them ("1e20", "1.5e-7"); always reads back as `value`.
// `value` must be finite.
void append_double(double value, std::string& out);

// Plain positional layout with ".0" on integral values, never an exponent
// ("100000000000000000000.0", "0.0000001"), for naming a value in messages.
std::string positional_double(double value);

}  // namespace orvix::json
