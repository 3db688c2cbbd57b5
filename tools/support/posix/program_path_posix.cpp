#include "support/program_path.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include <vector>

#include "base/path.h"
#include "platform/environment.h"
#include "support/posix/retry_posix.h"

namespace orvix::support {

namespace {

int stat_of(const std::string& path, struct stat& info) {
  return posix::retry_interrupted([&] { return ::stat(path.c_str(), &info); });
}

Result<std::string, platform::OsError> current_directory() {
  std::vector<char> buffer(PATH_MAX);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno == EINTR) continue;
    if (errno != ERANGE) return platform::last_os_error();
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

// Lexical clean-up of an absolute path: no ".", no "..", no empty components.
std::string normalise(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string joined;
  for (auto part : parts) {
    joined += '/';
    joined += part;
  }
  return joined.empty() ? "/" : joined;
}

}  // namespace

std::string find_on_path(std::string_view name) {
  auto search = platform::environment_variable("PATH");
  if (!search) return {};
  std::size_t start = 0;
  while (start <= search->size()) {
    std::size_t end = search->find(':', start);
    if (end == std::string::npos) end = search->size();
    std::string directory = search->substr(start, end - start);
    std::string candidate = join_path(directory.empty() ? "." : directory, name);
    if (is_executable_file(candidate)) {
      auto absolute = absolute_path(candidate);
      return absolute ? *absolute : std::string();
    }
    start = end + 1;
  }
  return {};
}

std::string own_executable_path(std::string_view argv0) {
  // Linux names the running image here; other systems fall back to argv[0].
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t length =
      posix::retry_interrupted([&] { return ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1); });
  if (length > 0 && static_cast<std::size_t>(length) < buffer.size() - 1) {
    return std::string(buffer.data(), static_cast<std::size_t>(length));
  }
  if (argv0.find('/') != std::string_view::npos) {
    auto absolute = absolute_path(argv0);
    return absolute ? *absolute : std::string();
  }
  return find_on_path(argv0);
}

Result<std::string, platform::OsError> absolute_path(std::string_view path) {
  if (is_absolute_path(path)) return normalise(path);
  auto base = current_directory();
  if (!base) return base.error();
  return normalise(*base + "/" + std::string(path));
}

bool is_absolute_path(std::string_view path) { return !path.empty() && path.front() == '/'; }

bool is_executable_file(const std::string& path) {
  struct stat info {};
  if (stat_of(path, info) != 0 || !S_ISREG(info.st_mode)) return false;
  return posix::retry_interrupted([&] { return ::access(path.c_str(), X_OK); }) == 0;
}

bool is_directory(const std::string& path) {
  struct stat info {};
  return stat_of(path, info) == 0 && S_ISDIR(info.st_mode);
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return stat_of(a, first) == 0 && stat_of(b, second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

}  // namespace orvix::support
