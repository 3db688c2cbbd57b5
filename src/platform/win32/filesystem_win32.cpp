#include "platform/filesystem.h"

#include <windows.h>

#include <utility>

#include "platform/file_calls.h"
#include "platform/win32/handle_io.h"
#include "platform/win32/wide_text.h"

namespace orvix::platform {

namespace {

// Readers and writers never lock each other out, and a file may be renamed
// over or deleted while it is open here: the runtime replaces its descriptor
// whenever it likes, and the log may be rotated or removed at any time.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

FileError os_failure(OsError error) {
  // No file (2) or no directory on the way to it (3); everything else says
  // that something is there, or may be, that cannot be used.
  const bool not_found = error.code == ERROR_FILE_NOT_FOUND || error.code == ERROR_PATH_NOT_FOUND;
  return FileError{not_found ? FileError::Kind::kNotFound : FileError::Kind::kOsError, std::move(error)};
}

// FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end of
// the file as it is then, also when other processes append to it.
DWORD rights_for(file_calls::Access access) {
  switch (access) {
    case file_calls::Access::kRead: return GENERIC_READ;
    case file_calls::Access::kAppendAndRead: return FILE_APPEND_DATA | FILE_READ_DATA;
    case file_calls::Access::kAppend: return FILE_APPEND_DATA;
  }
  return GENERIC_READ;
}

// One byte at the top of the offset range, where no file's data ever lies:
// a lock there holds up no read or write of the content (a lock over data
// would make other programs' reads of the log fail while a line is written).
OVERLAPPED lock_range() {
  OVERLAPPED at{};
  at.Offset = 0xFFFFFFFEu;
  at.OffsetHigh = 0x7FFFFFFFu;
  return at;
}

}  // namespace

// Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened at all, so
// one at `path` fails here with the system's text (access denied). Opening
// never waits: a busy named pipe fails at once.
Result<OwnedHandle, FileError> file_calls::open_unchecked(const std::string& path, Access access) {
  const DWORD disposition = access == Access::kRead ? OPEN_EXISTING : OPEN_ALWAYS;
  OwnedHandle handle(
      reinterpret_cast<std::intptr_t>(CreateFileW(win32::widen(path).c_str(), rights_for(access), kShareAll, nullptr,
                                                  disposition, FILE_ATTRIBUTE_NORMAL, nullptr)));
  if (!handle.is_open()) return os_failure(last_os_error());
  return handle;
}

// A file on disk only: pipes, consoles and devices ("NUL", "\\.\pipe\...")
// are closed again untouched. The identity stays unknown: Windows gives it
// only through a call of its own.
Result<file_calls::OpenFile, FileError> file_calls::check_regular(OwnedHandle handle, Access access) {
  OpenFile file{std::move(handle)};
  const HANDLE native = win32::as_handle(file.handle.get());
  if (GetFileType(native) != FILE_TYPE_DISK) return FileError{FileError::Kind::kNotRegular, {}};
  if (access != Access::kAppend) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(native, &size)) return FileError{FileError::Kind::kOsError, last_os_error()};
    file.size = static_cast<std::uint64_t>(size.QuadPart);
  }
  return file;
}

Result<file_calls::OpenFile, FileError> file_calls::open_regular(const std::string& path, Access access) {
  auto handle = open_unchecked(path, access);
  if (!handle) return handle.error();
  return check_regular(std::move(*handle), access);
}

bool file_calls::is_access_denied(const FileError& failure) {
  return failure.kind == FileError::Kind::kOsError && failure.os.code == ERROR_ACCESS_DENIED;
}

Result<std::size_t, OsError> file_calls::read_some(const OwnedHandle& file, char* buffer, std::size_t size) {
  const DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
  DWORD got = 0;
  if (!ReadFile(win32::as_handle(file.get()), buffer, wanted, &got, nullptr)) return last_os_error();
  return std::size_t{got};
}

// The read names its offset, so it leaves where writes go alone (on a handle
// opened for appending they always go to the end).
Result<std::size_t, OsError> file_calls::read_at(const OwnedHandle& file, std::uint64_t offset, char* buffer,
                                                 std::size_t size) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  const DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
  DWORD got = 0;
  if (ReadFile(win32::as_handle(file.get()), buffer, wanted, &got, &at)) return std::size_t{got};
  // A read that starts at or past the end fails with this code when it names its offset.
  if (GetLastError() == ERROR_HANDLE_EOF) return std::size_t{0};
  return last_os_error();
}

Result<std::uint64_t, OsError> file_calls::size_of(const OwnedHandle& file) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(win32::as_handle(file.get()), &size)) return last_os_error();
  return static_cast<std::uint64_t>(size.QuadPart);
}

file_calls::AppendLock file_calls::try_lock_appends(const OwnedHandle& file) {
  OVERLAPPED at = lock_range();
  if (LockFileEx(win32::as_handle(file.get()), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    return AppendLock::kTaken;
  }
  return GetLastError() == ERROR_LOCK_VIOLATION ? AppendLock::kBusy : AppendLock::kUnavailable;
}

// Windows lets the locks of a closed handle go only when it gets round to it.
void file_calls::unlock_appends(const OwnedHandle& file) {
  OVERLAPPED at = lock_range();
  UnlockFileEx(win32::as_handle(file.get()), 0, 1, 0, &at);
}

Result<void, OsError> file_calls::write_all(const OwnedHandle& file, std::string_view bytes) {
  std::size_t written = 0;
  return win32::write_all(win32::as_handle(file.get()), bytes, written);
}

bool path_exists(const std::string& path) {
  return GetFileAttributesW(win32::widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void create_directories(const std::string& path) {
  const std::wstring wide = win32::widen(path);
  if (wide.empty()) return;
  // Each prefix ending before a separator, then the whole path. Prefixes that
  // are no directory ("D:", "\\server") simply fail to be created.
  for (std::size_t i = 1; i <= wide.size(); ++i) {
    if (i == wide.size() || is_separator(wide[i])) {
      if (is_separator(wide[i - 1])) continue;
      CreateDirectoryW(wide.substr(0, i).c_str(), nullptr);
    }
  }
}

}  // namespace orvix::platform
