// What publishing a file does alike on every platform: finding the
// temporaries that ended runs left. The writes are in file_replace_posix.cpp
// and file_replace_win32.cpp.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "base/path.h"
#include "support/file_replace.h"
#include "support/process_alive.h"

namespace orvix::support {

namespace {

// Paths are UTF-8; std::filesystem takes them as such only through
// u8string (Windows would convert plain strings to the ANSI code page).
std::filesystem::path fs_path(const std::string& utf8) { return std::u8string(utf8.begin(), utf8.end()); }

std::string utf8_name(const std::filesystem::path& path) {
  const std::u8string name = path.filename().u8string();
  return std::string(name.begin(), name.end());
}

// The process id of a temporary's name "<file>.tmp-<digits>", or nothing.
std::optional<std::uint32_t> writer_of(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  const std::string digits = name.substr(prefix.size());
  if (digits.size() > 10 || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
    return std::nullopt;
  const unsigned long long pid = std::stoull(digits);
  if (pid > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(pid);
}

}  // namespace

std::vector<std::string> remove_left_temporaries(const std::string& path) {
  std::vector<std::string> removed;
  const std::string prefix = utf8_name(fs_path(path)) + ".tmp-";
  std::error_code error;
  for (std::filesystem::directory_iterator it(fs_path(parent_path(path)), error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = utf8_name(it->path());
    const auto pid = writer_of(name, prefix);
    if (!pid || process_alive(*pid)) continue;
    const std::string temporary = join_path(parent_path(path), name);
    if (remove_file(temporary)) removed.push_back(temporary);
  }
  return removed;
}

}  // namespace orvix::support
