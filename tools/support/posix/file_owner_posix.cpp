#include "support/file_owner.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/posix/retry_posix.h"

namespace orvix::support {

namespace {

std::string user_name(uid_t uid) {
  const passwd* entry = ::getpwuid(uid);
  return entry != nullptr ? std::string(entry->pw_name) : std::to_string(uid);
}

}  // namespace

std::optional<std::string> other_owner(const std::string& path) {
  struct stat info {};
  if (posix::retry_interrupted([&] { return ::lstat(path.c_str(), &info); }) != 0 || info.st_uid == ::geteuid()) {
    return std::nullopt;
  }
  return user_name(info.st_uid);
}

std::string current_user_name() { return user_name(::geteuid()); }

bool is_administrator() { return ::geteuid() == 0; }

std::string user_database_home() {
  const passwd* entry = ::getpwuid(::getuid());
  return entry != nullptr && entry->pw_dir != nullptr ? std::string(entry->pw_dir) : std::string();
}

}  // namespace orvix::support
