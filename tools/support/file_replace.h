// Publishing a small file that other processes may read at any moment, and
// taking it back. Paths are UTF-8 text. The calls fail with the OS error of
// the step that failed, keep no file open after they return and block only
// for the file system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "platform/os_error.h"

namespace orvix::support {

// Replaces the file at `path` with `bytes` so that a reader sees either the
// old content or the new, never a mix: writes a temporary file beside it
// ("<path>.tmp-<process id>"), flushes it to the disk and renames it over,
// then flushes the folder where the system allows (POSIX; Windows moves
// with write-through), so that after a power cut the file is the old or the
// new one, never empty. The file is readable by the current user only. The
// temporary file is removed when a step fails. The directory must exist.
[[nodiscard]] Result<void, platform::OsError> replace_file(const std::string& path, std::string_view bytes);

// The same, but the file is readable by every user (a configuration file that
// programs of other users read, such as a system-wide browser manifest). On
// Windows the file takes its folder's permissions, as with replace_file().
[[nodiscard]] Result<void, platform::OsError> replace_shared_file(const std::string& path, std::string_view bytes);

// The same for a script that every user may read and run (mode 0755 on
// POSIX; on Windows as replace_file()).
[[nodiscard]] Result<void, platform::OsError> replace_executable_file(const std::string& path, std::string_view bytes);

// Removes the file at `path`; a missing file is an error.
[[nodiscard]] Result<void, platform::OsError> remove_file(const std::string& path);

// Removes the temporaries of `path` that runs ended between writing and
// renaming one left behind: those whose process is gone (process_alive.h);
// a live run's stays. Returns the paths removed. Best effort: what cannot be
// listed or removed stays, for the next run.
std::vector<std::string> remove_left_temporaries(const std::string& path);

}  // namespace orvix::support
