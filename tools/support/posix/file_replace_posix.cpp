#include "support/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/write_all_posix.h"
#include "platform/process.h"

namespace orvix::platform {

namespace {

boost::system::result<void, OsError> replace_with_mode(const std::string& path, std::string_view bytes, mode_t mode) {
  // The pid keeps two processes publishing the same file from sharing a temporary.
  const std::string temporary = path + ".tmp-" + std::to_string(current_process_id());
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return last_os_error();
  // The umask may take bits away; the mode asked for is the mode meant.
  if (::fchmod(fd, mode) != 0) {
    OsError failure = last_os_error();
    ::close(fd);
    ::unlink(temporary.c_str());
    return failure;
  }

  std::size_t count = 0;
  auto written = posix::write_all(fd, bytes, count);
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

}  // namespace

boost::system::result<void, OsError> replace_file(const std::string& path, std::string_view bytes) {
  return replace_with_mode(path, bytes, 0600);
}

boost::system::result<void, OsError> replace_shared_file(const std::string& path, std::string_view bytes) {
  return replace_with_mode(path, bytes, 0644);
}

boost::system::result<void, OsError> remove_file(const std::string& path) {
  if (::unlink(path.c_str()) != 0) return last_os_error();
  return {};
}

}  // namespace orvix::platform
