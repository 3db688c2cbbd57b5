#include "platform/filesystem.h"

#include <windows.h>

#include <algorithm>

#include "platform/owned_handle.h"
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

// Opens `path` and checks that it is a file on disk: pipes, consoles and
// devices ("NUL", "\\.\pipe\...") are closed again untouched. Without
// FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened at all, so one at
// `path` fails here with the system's text (access denied). Opening never
// waits: a busy named pipe fails at once.
Result<OwnedHandle, FileError> open_regular(const std::string& path, DWORD access, DWORD disposition) {
  OwnedHandle file(reinterpret_cast<std::intptr_t>(CreateFileW(win32::widen(path).c_str(), access, kShareAll, nullptr,
                                                               disposition, FILE_ATTRIBUTE_NORMAL, nullptr)));
  if (!file.is_open()) return os_failure(last_os_error());
  if (GetFileType(win32::as_handle(file.get())) != FILE_TYPE_DISK) return FileError{FileError::Kind::kNotRegular, {}};
  return file;
}

// Whether the file's last byte is there and is no line feed. The size is
// taken afresh: other hosts may have appended since the open. The read names
// its offset, so it leaves where writes go alone (they always go to the end).
// Any failure reads as "no": the line then goes out as it is.
bool ends_inside_a_line(HANDLE file) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size) || size.QuadPart <= 0) return false;
  const auto offset = static_cast<unsigned long long>(size.QuadPart - 1);
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  char last = '\n';
  DWORD got = 0;
  return ReadFile(file, &last, 1, &got, &at) && got == 1 && last != '\n';
}

}  // namespace

Result<std::string, FileError> read_regular_file(const std::string& path, std::size_t max_size) {
  auto opened = open_regular(path, GENERIC_READ, OPEN_EXISTING);
  if (!opened) return opened.error();
  const HANDLE file = win32::as_handle(opened->get());
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) return FileError{FileError::Kind::kOsError, last_os_error()};
  if (static_cast<unsigned long long>(size.QuadPart) > max_size) return FileError{FileError::Kind::kTooLarge, {}};

  // The file may grow while it is read: one byte past the limit is enough to
  // know, and no more is ever read.
  std::string content(static_cast<std::size_t>(size.QuadPart) + 1, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == content.size()) {
      if (filled > max_size) return FileError{FileError::Kind::kTooLarge, {}};
      content.resize(std::min(content.size() * 2, max_size + 1));
    }
    const std::size_t room = content.size() - filled;
    const DWORD wanted = room > MAXDWORD ? MAXDWORD : static_cast<DWORD>(room);
    DWORD got = 0;
    if (!ReadFile(file, content.data() + filled, wanted, &got, nullptr)) {
      return FileError{FileError::Kind::kOsError, last_os_error()};
    }
    if (got == 0) break;
    filled += got;
  }
  content.resize(filled);
  return {boost::system::in_place_value, std::move(content)};
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

Result<void, FileError> append_line_to_regular_file(const std::string& path, std::string_view line) {
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end of
  // the file as it is then, also when other processes append to it. Read
  // access only to look at the last byte; a file this user may write but not
  // read is appended to without the look.
  bool readable = true;
  auto opened = open_regular(path, FILE_APPEND_DATA | FILE_READ_DATA, OPEN_ALWAYS);
  if (!opened && opened.error().os.code == ERROR_ACCESS_DENIED) {
    readable = false;
    opened = open_regular(path, FILE_APPEND_DATA, OPEN_ALWAYS);
  }
  if (!opened) return opened.error();
  const HANDLE file = win32::as_handle(opened->get());
  std::string own_line;
  if (readable && ends_inside_a_line(file)) {
    own_line.reserve(line.size() + 1);
    own_line.append(1, '\n').append(line);
    line = own_line;
  }
  std::size_t written = 0;
  if (auto result = win32::write_all(file, line, written); !result) {
    return FileError{FileError::Kind::kOsError, result.error()};
  }
  return {};
}

}  // namespace orvix::platform
