// The file calls that POSIX and Windows make differently, beneath
// filesystem.cpp, which holds what both share (reading a file whose size may
// change, up to a limit; starting a line after a cut one). Internal to the
// platform layer; filesystem_posix.cpp and filesystem_win32.cpp define them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/filesystem.h"
#include "platform/owned_handle.h"

namespace orvix::platform::file_calls {

enum class Access {
  kRead,           // an existing file, for reading
  kAppendAndRead,  // created when missing; every write lands at the end
  kAppend,         // the same, without reading
};

struct OpenFile {
  OwnedHandle handle;
  std::uint64_t size = 0;  // at the open, for kRead and kAppendAndRead
};

// Opens `path` without waiting on what is there, and keeps it only when it
// is a regular file (kNotRegular else, closed again untouched).
[[nodiscard]] Result<OpenFile, FileError> open_regular(const std::string& path, Access access);

// Whether an open failed for want of permission.
bool is_access_denied(const FileError& failure);

// Reads once: the bytes read, 0 at the end.
[[nodiscard]] Result<std::size_t, OsError> read_some(const OwnedHandle& file, char* buffer, std::size_t size);

// The file's last byte as of the open (its size then); nothing for an empty
// file or when it cannot be read. Another process may append in between,
// as it may between any look and the write that follows it.
std::optional<char> last_byte(const OpenFile& file);

// Writes every byte, at the end of a file opened for appending.
[[nodiscard]] Result<void, OsError> write_all(const OwnedHandle& file, std::string_view bytes);

}  // namespace orvix::platform::file_calls
