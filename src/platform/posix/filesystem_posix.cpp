#include "platform/filesystem.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvix::platform {

bool path_exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

boost::system::result<std::string, OsError> read_whole_file(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return last_os_error();
  std::string content;
  char buffer[8192];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      content.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0) break;
    if (errno == EINTR) continue;
    OsError error = last_os_error();
    ::close(fd);
    return error;
  }
  ::close(fd);
  return {boost::system::in_place_value, std::move(content)};
}

void create_directories(const std::string& path) {
  if (path.empty()) return;
  // Each prefix ending before a separator, then the whole path.
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string prefix = path.substr(0, i);
      if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
        // An ancestor we may not create can still exist; go on.
      }
    }
  }
}

boost::system::result<void, OsError> append_to_file(const std::string& path, std::string_view bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return last_os_error();
  std::size_t written = 0;
  while (written < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      OsError error = last_os_error();
      ::close(fd);
      return error;
    }
    written += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return {};
}

}  // namespace orvix::platform
