// Paths of programs and the files around them: where this program lies,
// making a path absolute, and what a path names (a program that can be
// started, a directory; whether anything is there at all is
// platform::path_exists()). None of these opens a file.
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"
#include "platform/filesystem.h"  // path_exists(), which the host needs too
#include "platform/os_error.h"

namespace orvix::support {

// The absolute path of the running program. `argv0` is the fallback where
// the system cannot tell (resolved against the current directory or PATH);
// the empty string when neither works.
std::string own_executable_path(std::string_view argv0);

// `path` made absolute against the current directory, with "." and ".."
// components and doubled separators removed lexically (links are kept as
// they are, so a path through a link keeps naming the link). Fails only when
// the current directory cannot be read.
[[nodiscard]] Result<std::string, platform::OsError> absolute_path(std::string_view path);

// Whether `path` is absolute on this system ("/..." on POSIX; "C:\..." or
// "\\server\..." on Windows).
bool is_absolute_path(std::string_view path);

// Whether `path` is a regular file (following links) that this user may
// execute: the execute permission on POSIX; on Windows any regular file.
bool is_executable_file(const std::string& path);

// Whether `path` is a directory (following links).
bool is_directory(const std::string& path);

// The program a shell started as `name` would run: the first executable
// file `name` in a folder of PATH (on Windows `name` + ".exe"), absolute;
// the empty string when PATH finds none.
std::string find_on_path(std::string_view name);

// Whether `a` and `b` name the same existing file: the same device and
// inode on POSIX (so a link on PATH to the file counts); on Windows the same
// absolute path, letter case aside.
bool same_file(const std::string& a, const std::string& b);

}  // namespace orvix::support
