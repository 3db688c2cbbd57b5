// Parsing one JSON value from bytes.
//
// Accepts exactly one value with only JSON whitespace (space, tab, LF, CR)
// around it; at most 127 nested arrays/objects; strings must be valid UTF-8
// after escapes, without raw control characters; a repeated member keeps the
// later value; a number whose magnitude is beyond a double is an error.
// Numbers become uint64, else int64 for negatives, else double (-0 is a double).
//
// A failure (kind kInvalidInput) names the fault and its place:
// "<fault> at line L column C" (see tokenizer.h for the position rule).
#pragma once

#include <string_view>

#include <boost/json/storage_ptr.hpp>

#include "base/result.h"
#include "json/value.h"

namespace orvix::json {

inline constexpr std::size_t kMaxDepth = 127;

// The value owns its memory (the default allocator).
[[nodiscard]] Result<Value> parse_json(std::string_view bytes);

// The value's memory comes from `storage`, which must outlive it (and every
// copy that shares it). For one short-lived value, an arena such as
// boost::json::monotonic_resource frees everything at once.
[[nodiscard]] Result<Value> parse_json(std::string_view bytes, boost::json::storage_ptr storage);

}  // namespace orvix::json
