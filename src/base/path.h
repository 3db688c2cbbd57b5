// Joining path components with the separator of the system built for. Text
// only: nothing here touches the file system.
#pragma once

#include <string>
#include <string_view>

namespace orvix {

// The path separator: '/' on POSIX, '\\' on Windows.
char path_separator();

// `base` followed by the separator and `component`. The separator is not
// doubled when `base` already ends in one and is not added after an empty base.
std::string join_path(std::string_view base, std::string_view component);

// join_path() in place: appends to `path`.
void append_path(std::string& path, std::string_view component);

// append_path() for a relative path of several components written with
// '/' between them, e.g. "data/runtime/x.json": one append, each '/' of it
// becoming the system's separator. For a fixed tail appended per request.
void append_relative_path(std::string& path, std::string_view relative);

// The directory part of `path` (everything before the last separator), or
// the empty string when there is none.
std::string parent_path(std::string_view path);

}  // namespace orvix
