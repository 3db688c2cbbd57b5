// The pieces of a hierarchical URL path: dot segments, Windows drive
// letters (kept as the first segment of file URLs on every platform), and
// the path's serialisation.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvix::url {

// "." or "%2e" (any case).
bool is_single_dot_segment(std::string_view segment);

// "..", ".%2e", "%2e." or "%2e%2e" (any case).
bool is_double_dot_segment(std::string_view segment);

// A letter followed by ':' or '|'.
bool is_windows_drive_letter(std::string_view segment);

// A letter followed by ':'.
bool is_normalized_windows_drive_letter(std::string_view segment);

// Drops the last segment, except a file URL's lone drive letter ("C:"),
// which ".." never climbs above.
void shorten_path(std::vector<std::string>& segments, bool file_scheme);

// "/" before each segment; "" for no segments.
std::string serialize_path(const std::vector<std::string>& segments);

}  // namespace orvix::url
