// The fast path of parse_json(): reads one whole JSON text under exactly the
// rules of the tokenizer (tokenizer.h: whitespace, nesting limit, strings
// valid as UTF-8 after their escapes, no lone surrogates, numbers as uint64,
// else int64 for negatives, else a correctly rounded double, -0 a double)
// and builds its value, but says only whether the text is valid. A refused
// text goes to the tokenizer, which names the fault (and builds the value
// should this reader ever refuse a valid text).
//
// Strings are scanned sixteen (or eight) bytes at a time; one without escapes
// is copied into the value straight from the text, one with escapes is
// decoded through a single scratch buffer: `scratch` when given (at least
// text.size() bytes, not overlapping the text), else one taken from
// `scratch_storage` when first needed.
#pragma once

#include <cstddef>
#include <string_view>

#include <boost/json/storage_ptr.hpp>
#include <boost/json/value_stack.hpp>

namespace orvix::json {

[[nodiscard]] bool read_fast(std::string_view text, std::size_t max_depth, boost::json::value_stack& out,
                             const boost::json::storage_ptr& scratch_storage, char* scratch = nullptr);

}  // namespace orvix::json
