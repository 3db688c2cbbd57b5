#include "platform/file_replace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/process.h"

namespace orvix::platform {

namespace {

boost::system::result<void, OsError> write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return last_os_error();
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

}  // namespace

boost::system::result<void, OsError> replace_file(const std::string& path, std::string_view bytes) {
  // The pid keeps two processes publishing the same file from sharing a temporary.
  const std::string temporary = path + ".tmp-" + std::to_string(current_process_id());
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return last_os_error();

  auto written = write_all(fd, bytes);
  const bool closed = ::close(fd) == 0;
  OsError failure;
  if (!written) {
    failure = written.error();
  } else if (!closed) {
    failure = last_os_error();
  } else if (::rename(temporary.c_str(), path.c_str()) != 0) {
    failure = last_os_error();
  } else {
    return {};
  }
  ::unlink(temporary.c_str());
  return failure;
}

boost::system::result<void, OsError> remove_file(const std::string& path) {
  if (::unlink(path.c_str()) != 0) return last_os_error();
  return {};
}

}  // namespace orvix::platform
