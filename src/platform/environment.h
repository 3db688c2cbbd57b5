// Environment variables read as Unicode text.
#pragma once

#include <optional>
#include <string>

namespace orvix::platform {

// The variable's value as UTF-8 when it is set and its value is valid Unicode;
// nothing when it is unset or its value cannot be read as Unicode. An empty
// value is returned as the empty string (it counts as set).
std::optional<std::string> environment_variable(const char* name);

// environment_variable() appended to `out` (untouched when it is not set):
// for a path built afresh per request in a buffer the caller keeps.
bool append_environment_variable(const char* name, std::string& out);

}  // namespace orvix::platform
