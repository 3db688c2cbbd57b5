#include "support/program_file.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "base/path.h"
#include "support/posix/retry_posix.h"

namespace orvix::support {

namespace {

bool stat_of(const std::string& path, struct stat& info) {
  return posix::retry_interrupted([&] { return ::stat(path.c_str(), &info); }) == 0;
}

bool lstat_of(const std::string& path, struct stat& info) {
  return posix::retry_interrupted([&] { return ::lstat(path.c_str(), &info); }) == 0;
}

// `path` with every link resolved; nothing when some part is missing.
std::optional<std::string> real_path(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return std::nullopt;
  std::string text(resolved);
  ::free(resolved);
  return text;
}

// `path` and each folder above it, up to "/".
std::vector<std::string> path_and_folders(const std::string& path) {
  std::vector<std::string> chain{path};
  while (chain.back() != "/" && !chain.back().empty()) {
    std::string parent = parent_path(chain.back());
    if (parent.empty() && chain.back().front() == '/') parent.push_back('/');  // parent_path("/etc") is ""
    if (parent.empty() || parent == chain.back()) break;
    chain.push_back(std::move(parent));
  }
  return chain;
}

// Whether a user other than root may change `info`'s entry or its content.
bool changeable_by_users(const struct stat& info) {
  if (S_ISLNK(info.st_mode)) return false;  // only its folder's owners can replace it
  if (info.st_uid != 0) return true;
  const bool group_writes = (info.st_mode & S_IWGRP) != 0 && info.st_gid != 0;
  const bool others_write = (info.st_mode & S_IWOTH) != 0;
  // A sticky folder of root's (/tmp): others may add entries but not
  // replace root's, and every entry below is checked on its own.
  const bool sticky_folder = S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0;
  return !sticky_folder && (group_writes || others_write);
}

}  // namespace

std::optional<std::string> noexec_mount(const std::string& path) {
  struct statvfs mount {};
  if (posix::retry_interrupted([&] { return ::statvfs(path.c_str(), &mount); }) != 0 ||
      (mount.f_flag & ST_NOEXEC) == 0) {
    return std::nullopt;
  }
  // The mount point: the highest folder above the file on the same device.
  const auto resolved = real_path(path);
  struct stat file {};
  if (!resolved || !stat_of(*resolved, file)) return std::nullopt;
  std::string point = *resolved;
  for (const std::string& folder : path_and_folders(*resolved)) {
    struct stat info {};
    if (!stat_of(folder, info) || info.st_dev != file.st_dev) break;
    point = folder;
  }
  return point;
}

std::string file_start(const std::string& path, std::size_t count) {
  const int fd =
      posix::retry_interrupted([&] { return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); });
  if (fd < 0) return {};
  std::string bytes;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    bytes.resize(count);
    std::size_t done = 0;
    while (done < count) {
      const ssize_t got = posix::retry_interrupted([&] { return ::read(fd, bytes.data() + done, count - done); });
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
  }
  ::close(fd);
  return bytes;
}

std::vector<std::string> replaceable_by_users(const std::string& path) {
  std::vector<std::string> chain = path_and_folders(path);
  if (const auto resolved = real_path(path); resolved && *resolved != path) {
    for (std::string& item : path_and_folders(*resolved)) chain.push_back(std::move(item));
  }
  std::vector<std::string> changeable;
  for (const std::string& item : chain) {
    struct stat info {};
    if (lstat_of(item, info) && changeable_by_users(info) &&
        std::find(changeable.begin(), changeable.end(), item) == changeable.end()) {
      changeable.push_back(item);
    }
  }
  return changeable;
}

}  // namespace orvix::support
