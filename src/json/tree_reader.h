// Reading a large JSON text in one pass, straight into its value, under
// exactly the rules of the fast reader and the tokenizer (tokenizer.h). Each
// string is decoded once, into the characters of its own value, and the text
// is only read: a refused text is still as it came, for the tokenizer to name
// its fault.
//
// Says only whether the text is valid; on refusal `out` is unspecified.
#pragma once

#include <cstddef>
#include <string_view>

#include <boost/json/storage_ptr.hpp>

#include "json/value.h"

namespace orvix::json {

// `out` takes the value, in its own storage.
[[nodiscard]] bool read_tree(std::string_view text, std::size_t max_depth, Value& out);

}  // namespace orvix::json
