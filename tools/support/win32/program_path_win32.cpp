#include "support/program_path.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/path.h"
#include "platform/environment.h"
#include "platform/win32/wide_text.h"

namespace orvix::support {

namespace {

DWORD attributes_of(const std::string& path) { return ::GetFileAttributesW(platform::win32::widen(path).c_str()); }

// ASCII letters in lower case: NTFS compares names without regard to case.
std::string folded(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

std::string own_executable_path(std::string_view argv0) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) break;
    if (length < buffer.size()) return platform::win32::narrow_for_display(std::wstring_view(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
  auto absolute = absolute_path(argv0);
  return absolute ? *absolute : std::string();
}

Result<std::string, platform::OsError> absolute_path(std::string_view path) {
  // GetFullPathNameW joins with the current directory and removes "." and
  // ".." lexically, without touching the file system.
  const std::wstring input = platform::win32::widen(path);
  DWORD size = ::GetFullPathNameW(input.c_str(), 0, nullptr, nullptr);
  if (size == 0) return platform::last_os_error();
  std::wstring out(size, L'\0');
  DWORD length = ::GetFullPathNameW(input.c_str(), size, out.data(), nullptr);
  if (length == 0 || length >= size) return platform::last_os_error();
  out.resize(length);
  return platform::win32::narrow_for_display(out);
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

std::string find_on_path(std::string_view name) {
  auto search = platform::environment_variable("PATH");
  if (!search) return {};
  for (std::size_t start = 0; start <= search->size();) {
    std::size_t end = std::min(search->find(';', start), search->size());
    std::string directory = search->substr(start, end - start);
    start = end + 1;
    if (directory.empty()) continue;
    std::string candidate = join_path(directory, std::string(name) + ".exe");
    if (is_executable_file(candidate)) {
      auto absolute = absolute_path(candidate);
      return absolute ? *absolute : std::string();
    }
  }
  return {};
}

bool same_file(const std::string& a, const std::string& b) {
  auto first = absolute_path(a);
  auto second = absolute_path(b);
  return first && second && is_executable_file(*first) && folded(*first) == folded(*second);
}

}  // namespace orvix::support
