// The fast path of parse_json(): reads one whole JSON text in one pass,
// straight into its value, under exactly the rules of the tokenizer
// (tokenizer.h: whitespace, nesting limit, strings valid as UTF-8 after their
// escapes, no lone surrogates, numbers as uint64, else int64 for negatives,
// else a correctly rounded double, -0 a double), but says only whether the
// text is valid. A refused text goes to the tokenizer, which names the fault
// (and builds the value should this reader ever refuse a valid text).
//
// Each string is decoded once, into the characters of its own value: no
// decoding buffer as large as the text, which for a 1 MiB request would be a
// third copy beside the text and the value. The text is only read, so a
// refused text is still as it came for the tokenizer. On refusal `out` is
// unspecified.
#pragma once

#include <cstddef>
#include <string_view>

#include "json/value.h"

namespace orvix::json {

// `out` takes the value, in its own storage.
[[nodiscard]] bool read_tree(std::string_view text, std::size_t max_depth, Value& out);

}  // namespace orvix::json
