#include "platform/std_streams.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace orvix::platform {

namespace {

// A missing standard descriptor is filled with /dev/null, so that no file or
// socket the host opens later can take its number and receive stray output
// (or be read as requests).
void occupy_if_closed(int fd, int flags) {
  if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) return;
  int null_fd = open("/dev/null", flags | O_CLOEXEC);
  if (null_fd >= 0 && null_fd != fd) {
    dup2(null_fd, fd);
    close(null_fd);
  }
}

}  // namespace

ChannelHandles guard_standard_streams() {
  // A closed output pipe must fail the write, not kill the process.
  std::signal(SIGPIPE, SIG_IGN);
  occupy_if_closed(STDIN_FILENO, O_RDONLY);
  occupy_if_closed(STDERR_FILENO, O_WRONLY);

  int frames = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  // Descriptor 1 now leads to stderr (or /dev/null when there is none).
  dup2(STDERR_FILENO, STDOUT_FILENO);
  // With no standard output at all, frames go to an invalid handle and the
  // first reply fails with the system's "bad file descriptor" error.
  return ChannelHandles{STDIN_FILENO, frames};
}

boost::system::result<std::size_t, OsError> read_stream(StreamHandle handle, char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::read(static_cast<int>(handle), buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    // A broken input is the end of the conversation, not a failure. (A
    // missing one was replaced by /dev/null at start, which reads as the end.)
    if (errno == EPIPE) return std::size_t{0};
    return last_os_error();
  }
}

boost::system::result<void, OsError> write_stream(StreamHandle handle, const char* data, std::size_t size,
                                                  std::size_t& written) {
  written = 0;
  while (written < size) {
    ssize_t n = ::write(static_cast<int>(handle), data + written, size - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) return os_error_from_code(EIO);
    return last_os_error();
  }
  return {};
}

boost::system::result<void, OsError> flush_stream(StreamHandle) { return {}; }

void write_standard_error(std::string_view text) {
  std::size_t written = 0;
  (void)write_stream(STDERR_FILENO, text.data(), text.size(), written);
}

void close_stream(StreamHandle handle) {
  if (handle >= 0) ::close(static_cast<int>(handle));
}

}  // namespace orvix::platform
