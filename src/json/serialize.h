// The compact serialiser.
//
// No whitespace between tokens, no trailing line break; object members in
// ascending byte order of their names; strings escape only '"', '\\' and the
// characters below U+0020 (\b \t \n \f \r, else \u00xx in lower-case hex),
// everything else as raw UTF-8; integers in decimal; finite doubles in the
// shortest text that reads back as the same double, with ".0" on integral
// values; NaN and infinities as null. Cannot fail.
#pragma once

#include <string>

#include "json/value.h"

namespace orvix::json {

// Appends the compact text of `value` to `out`.
void serialize_compact(const Value& value, std::string& out);

std::string to_compact_string(const Value& value);

}  // namespace orvix::json
