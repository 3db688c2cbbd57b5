// Policy files as the browser's policy loader reads them: JSON that may hold
// comments (// to the end of the line, /* ... */) and a comma before the `]`
// or `}` that closes an array or object. An administrator's file written so
// is applied by the browser, so doctor must not call it ignored.
#pragma once

#include <string>
#include <string_view>

namespace orvix::register_tool {

// `text` as strict JSON: each comment outside a string becomes one space
// (a line comment keeps its line end), and each comma that follows a value
// and has only white space and comments before `]` or `}` is dropped. Everything else,
// strings included, is kept byte for byte, so a file broken in any other way
// (an unterminated comment among them: it is kept) still fails to parse.
std::string strip_json_leniency(std::string_view text);

}  // namespace orvix::register_tool
