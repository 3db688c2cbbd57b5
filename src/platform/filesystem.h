// The few file-system operations the host needs. Paths are UTF-8 text.
//
// The host reads and appends to regular files only. Each call opens its file
// without waiting on what it finds there (a pipe with no writer, a device)
// and checks its type before touching its content: anything that is not a
// regular file is closed again unread and unwritten. Links are followed. No
// call keeps a file open after it returns, and none blocks longer than the
// file system takes (an append also waits a bounded time for another
// process's append: see there).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/result.h"
#include "platform/os_error.h"

namespace orvix::platform {

// Why reading or appending to a file failed.
struct FileError {
  enum class Kind {
    kNotFound,    // the open found no entry at the path, or a path component that is no directory
    kNotRegular,  // a pipe, socket, device or the like: closed again, untouched
    kTooLarge,    // read only: the file holds more than the caller's limit; nothing past it was read
    kOsError,     // any other failure of opening, reading or writing (a directory fails here)
  };
  Kind kind = Kind::kOsError;
  // The system's error for kOsError; for kNotFound its code, and its text
  // only where the system gives it at no cost (not on POSIX); empty for the
  // others.
  OsError os;
};

// The whole content of the regular file at `path`, which must hold at most
// `max_size` bytes (kTooLarge else, and no more than `max_size` + 1 bytes are
// ever read). The file is opened for reading only, shared for reading,
// writing and deletion where the OS has such modes. A directory is a
// kOsError with the system's text for it.
[[nodiscard]] Result<std::string, FileError> read_regular_file(const std::string& path, std::size_t max_size);

// Whether anything (file, directory, ...) exists at `path`, following links.
// Looks without opening.
bool path_exists(const std::string& path);

// Creates `path` and every missing ancestor. Failures are not reported: the
// caller's next step decides.
void create_directories(const std::string& path);

// Appends `line` (text ending in a line feed) to the regular file at `path`
// in one write (continued only if the system takes part of it), creating the
// file when missing (but not its directory: kNotFound then), never
// truncating; every write lands at the file's current end, also when other
// processes append to it. The line starts on a line of its own: when the
// file ends in a line cut short (a write that a full disk stopped midway),
// a line feed goes first, in the same write, so the cut line stays cut but
// the new one stays whole. The file's last byte is read for that only where
// this user may read the file; a file that may only be written gets the line
// as it is. It is not read either when this thread's previous line went to
// the same file (same device and file number) and the file still ends where
// that line ended: lines in a row cost no read. Writers that append this way hold an advisory lock across that
// look and their write (file_calls.h), so none takes another's write in
// progress for a cut line; the lock holds up no reader and no other writer.
// Waits up to 2 s for another process to let the lock go, then writes
// without it; where the file system has no locks, writes without waiting.
[[nodiscard]] Result<void, FileError> append_line_to_regular_file(const std::string& path, std::string_view line);

}  // namespace orvix::platform
