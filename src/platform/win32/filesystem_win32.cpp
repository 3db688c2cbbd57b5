#include "platform/filesystem.h"

#include <windows.h>

#include "platform/win32/handle_io.h"
#include "platform/win32/wide_text.h"

namespace orvix::platform {

namespace {

// Readers and writers never lock each other out, and a file may be renamed
// over or deleted while it is open here: the runtime replaces its descriptor
// whenever it likes, and the log may be rotated or removed at any time.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

bool path_exists(const std::string& path) {
  return GetFileAttributesW(win32::widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

boost::system::result<std::string, OsError> read_whole_file(const std::string& path) {
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened, so one at
  // `path` fails here with the system's text.
  HANDLE file = CreateFileW(win32::widen(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return last_os_error();
  std::string content;
  char buffer[8192];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      OsError error = last_os_error();
      CloseHandle(file);
      return error;
    }
    if (got == 0) break;
    content.append(buffer, got);
  }
  CloseHandle(file);
  return {boost::system::in_place_value, std::move(content)};
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

boost::system::result<void, OsError> append_to_file(const std::string& path, std::string_view bytes) {
  // FILE_APPEND_DATA alone: every write lands at the end of the file as it is
  // then, also when other processes append to it.
  HANDLE file = CreateFileW(win32::widen(path).c_str(), FILE_APPEND_DATA, kShareAll, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return last_os_error();
  auto written = win32::write_all(file, bytes);
  CloseHandle(file);
  return written;
}

}  // namespace orvix::platform
