// Children for the child-process contract (child_process_test.cpp): the same
// behaviour on each system, asked of its own shell (/bin/sh or cmd.exe).
// Each returns the argv to start; printed() and shown_variables() say what
// the child writes, which differs only in the line end cmd.exe adds.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvix::support::testing {

// Prints `text` (plain letters) to stdout and exits 0.
std::vector<std::string> printing(std::string_view text);
// Prints `out` to stdout and `err` to stderr and exits 0.
std::vector<std::string> printing_to_both(std::string_view out, std::string_view err);
// What printing() writes for `text`.
std::string printed(std::string_view text);

// Exits with `code` at once.
std::vector<std::string> exiting_with(int code);

// Prints the values of the variables `set` and `unset`.
std::vector<std::string> showing_variables(std::string_view set, std::string_view unset);
// What showing_variables() prints when `set` holds `value` and `unset` is unset.
std::string shown_variables(std::string_view set, std::string_view value, std::string_view unset);

}  // namespace orvix::support::testing
