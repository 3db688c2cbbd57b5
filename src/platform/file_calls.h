// The file calls that POSIX and Windows make differently, beneath
// filesystem.cpp, which holds what both share (reading a file whose size may
// change, up to a limit; starting a line after a cut one, under the lock of
// the file's appends). Internal to the
// platform layer; filesystem_posix.cpp and filesystem_win32.cpp define them.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Which file a handle is open on, where the system says so with the size
// at no extra cost (device and file number on POSIX); `known` is false
// elsewhere, and then no two files are taken for the same one.
struct FileIdentity {
  bool known = false;
  std::uint64_t device = 0;
  std::uint64_t number = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct OpenFile {
  OwnedHandle handle;
  std::uint64_t size = 0;  // at the check, for kRead and kAppendAndRead
  FileIdentity identity;
};

// Opens `path` without waiting on what is there (kNotFound, or kOsError with
// the system's text, for a directory too) and without looking at its type:
// check_regular() must come before anything is read or written.
[[nodiscard]] Result<OwnedHandle, FileError> open_unchecked(const std::string& path, Access access);

// Keeps `handle` only when it is open on a regular file (kNotRegular else,
// and it is closed again untouched), with the file's size and identity now.
// The check asks for no timestamp: where file times are kept finer after
// someone reads them, reading them would cost every later write a metadata
// update.
[[nodiscard]] Result<OpenFile, FileError> check_regular(OwnedHandle handle, Access access);

// open_unchecked, then check_regular.
[[nodiscard]] Result<OpenFile, FileError> open_regular(const std::string& path, Access access);

// Whether an open failed for want of permission.
bool is_access_denied(const FileError& failure);

// Reads once: the bytes read, 0 at the end.
[[nodiscard]] Result<std::size_t, OsError> read_some(const OwnedHandle& file, char* buffer, std::size_t size);

// Reads once at `offset`, without moving where appends go: the bytes read,
// 0 at or past the end.
[[nodiscard]] Result<std::size_t, OsError> read_at(const OwnedHandle& file, std::uint64_t offset, char* buffer,
                                                   std::size_t size);

// The file's size now.
[[nodiscard]] Result<std::uint64_t, OsError> size_of(const OwnedHandle& file);

enum class AppendLock {
  kTaken,        // held until the file is closed
  kBusy,         // another process holds it; try again
  kUnavailable,  // the file system offers no such lock (or refuses it): go on without
};

// Tries once, without waiting, to take the advisory lock that the host's
// writers of one file hold across the look at its end and the write that
// follows. It locks no data: readers, and writers that do not ask for it,
// are never held up (flock on POSIX; on Windows a byte range far beyond any
// end of file).
[[nodiscard]] AppendLock try_lock_appends(const OwnedHandle& file);

// Lets the lock go before the file is closed (where closing does not let it
// go at once).
void unlock_appends(const OwnedHandle& file);

// Writes every byte, at the end of a file opened for appending.
[[nodiscard]] Result<void, OsError> write_all(const OwnedHandle& file, std::string_view bytes);

}  // namespace orvix::platform::file_calls
