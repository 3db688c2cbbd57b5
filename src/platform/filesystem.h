// The few file-system operations the host needs.
#pragma once

#include <string>
#include <string_view>

#include <boost/system/result.hpp>

#include "platform/os_error.h"

namespace orvix::platform {

// Whether anything (file, directory, ...) exists at `path`, following links.
bool path_exists(const std::string& path);

// The whole content of the file at `path`. The file is opened for reading
// only (shared for reading, writing and deletion where the OS has such
// modes) and closed before the call returns. A directory fails to read.
[[nodiscard]] boost::system::result<std::string, OsError> read_whole_file(const std::string& path);

// Creates `path` and every missing ancestor. Failures are not reported: the
// caller's next step decides.
void create_directories(const std::string& path);

// Appends `bytes` to the file at `path` in one write, creating the file when
// missing, never truncating; every write lands at the file's current end.
[[nodiscard]] boost::system::result<void, OsError> append_to_file(const std::string& path, std::string_view bytes);

}  // namespace orvix::platform
