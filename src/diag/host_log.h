// The host log writer: one line per event, appended to the file the caller
// names (the caller resolves <home>/logs/chrome-native-host.log afresh):
//   "<unix ms> method=<method> detail=<detail>\n"
// Values are written verbatim (no quoting, escaping or trimming). Each call
// opens the file for appending (creating the directories first when the open
// finds them missing), writes the line in one write, and closes it. A line
// that a full disk cut short stays cut, but the next line starts on a line of
// its own instead of being glued to the fragment. Only a regular file is
// written: a pipe, device or socket at the path is left alone, and the open
// never waits on one. Every failure is swallowed: the caller cannot learn
// whether the line was written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvix::diag {

void write_host_log(const std::string& path, std::string_view method, std::string_view detail = "-");

// The line as written, for a given time.
std::string format_log_line(std::uint64_t unix_ms, std::string_view method, std::string_view detail);

}  // namespace orvix::diag
