#include "support/program_path.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/wide_text.h"

namespace orvix::platform {

namespace {

DWORD attributes_of(const std::string& path) { return ::GetFileAttributesW(win32::widen(path).c_str()); }

}  // namespace

std::string own_executable_path(std::string_view argv0) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) break;
    if (length < buffer.size()) return win32::narrow_for_display(std::wstring_view(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
  auto absolute = absolute_path(argv0);
  return absolute ? *absolute : std::string();
}

Result<std::string, OsError> absolute_path(std::string_view path) {
  // GetFullPathNameW joins with the current directory and removes "." and
  // ".." lexically, without touching the file system.
  const std::wstring input = win32::widen(path);
  DWORD size = ::GetFullPathNameW(input.c_str(), 0, nullptr, nullptr);
  if (size == 0) return last_os_error();
  std::wstring out(size, L'\0');
  DWORD length = ::GetFullPathNameW(input.c_str(), size, out.data(), nullptr);
  if (length == 0 || length >= size) return last_os_error();
  out.resize(length);
  return win32::narrow_for_display(out);
}

bool is_absolute_path(std::string_view path) {
  if (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) return true;
  return path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
}

bool is_executable_file(const std::string& path) {
  DWORD attributes = attributes_of(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool is_directory(const std::string& path) {
  DWORD attributes = attributes_of(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string search_path_for(std::string_view) { return {}; }

}  // namespace orvix::platform
