// The product home and the two paths under it, resolved afresh at every call
// from the environment (ORVIX_HOME, else HOME/.orvix, and for the descriptor
// only, else USERPROFILE/.orvix). A variable counts as set when it holds valid
// Unicode; an empty value is set and used as it stands (relative paths).
// Neither call touches the file system.
#pragma once

#include <optional>
#include <string>

namespace orvix::discovery {

// <home>/data/runtime/chrome/connection.json, or nothing when no home is known.
std::optional<std::string> resolve_descriptor_path();

// <home>/logs/chrome-native-host.log, or nothing when no home is known.
std::optional<std::string> resolve_log_path();

// The same two, written into `out` (cleared first; its capacity is kept, so
// a caller that keeps the buffer resolves a path per request without
// allocating); false, and `out` unspecified, when no home is known.
bool resolve_descriptor_path(std::string& out);
bool resolve_log_path(std::string& out);

}  // namespace orvix::discovery
