// Folders as the tools look at them, every path UTF-8 text. std::filesystem
// takes and gives a path as UTF-8 only through u8string: on Windows a plain
// string goes through the ANSI code page, which cannot hold every name (and
// throws on some). So the tools make no std::filesystem call of their own;
// they come here, where every path is converted that one way.
#pragma once

#include <string>
#include <vector>

#include "base/result.h"
#include "platform/os_error.h"

namespace orvix::support {

// The names of the entries of `folder`, in the order the system gives them.
// Fails when it cannot be read to the end (missing, not a folder, refused).
[[nodiscard]] Result<std::vector<std::string>, platform::OsError> folder_entries(const std::string& folder);

// Whether `path` is a folder itself, not a link to one.
bool is_real_folder(const std::string& path);

// The last component of `path` ("b.json" of "a/b.json").
std::string file_name(const std::string& path);

// Whether looking at `path` is refused for want of permission (a folder on
// the way that this user may not search).
bool access_refused(const std::string& path);

// Removes the folder `path` when it is empty; a folder that holds anything
// stays and fails.
[[nodiscard]] Result<void, platform::OsError> remove_empty_folder(const std::string& path);

}  // namespace orvix::support
