// Paths of programs and the files around them: where this program lies,
// making a path absolute, and what a path names (a program that can be
// started, a directory; whether anything is there at all is
// platform::path_exists()). None of these opens a file.
#pragma once

#include <string>
#include <string_view>

#include "platform/filesystem.h"  // path_exists(), which the host needs too
#include "platform/os_error.h"
#include "platform/result.h"

namespace orvix::platform {

// The absolute path of the running program. `argv0` is the fallback where
// the system cannot tell (resolved against the current directory or PATH);
// the empty string when neither works.
std::string own_executable_path(std::string_view argv0);

// `path` made absolute against the current directory, with "." and ".."
// components and doubled separators removed lexically (links are kept as
// they are, so a path through a link keeps naming the link). Fails only when
// the current directory cannot be read.
[[nodiscard]] Result<std::string, OsError> absolute_path(std::string_view path);

// Whether `path` is absolute on this system ("/..." on POSIX; "C:\..." or
// "\\server\..." on Windows).
bool is_absolute_path(std::string_view path);

// Whether `path` is a regular file (following links) that this user may
// execute: the execute permission on POSIX; on Windows any regular file.
bool is_executable_file(const std::string& path);

// Whether `path` is a directory (following links).
bool is_directory(const std::string& path);

// POSIX: the first executable file called `name` in the folders of PATH (an
// empty entry is the current folder), made absolute; empty when there is
// none. Windows: always empty; nothing there looks a program up on PATH.
std::string search_path_for(std::string_view name);

}  // namespace orvix::platform
