#include "platform/std_streams.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

#include "platform/owned_handle.h"
#include "platform/posix/write_all_posix.h"

namespace orvix::platform {

namespace {

// dup2 onto a standard descriptor, repeated when a signal interrupts it.
Result<void, OsError> duplicate_onto(int from, int to) {
  while (::dup2(from, to) < 0) {
    if (errno != EINTR) return last_os_error();
  }
  return {};
}

// A missing standard descriptor is filled with /dev/null, so that no file or
// socket the host opens later can take its number and receive stray output
// (or be read as requests).
Result<void, OsError> occupy_if_closed(int fd, int flags) {
  if (::fcntl(fd, F_GETFD) >= 0) return {};
  if (errno != EBADF) return last_os_error();
  // Without O_CLOEXEC: the number taken is often `fd` itself (the lowest free
  // one), which must stay a standard descriptor like any other. Nothing runs
  // in parallel yet that could inherit a temporary one.
  const int null_fd = ::open("/dev/null", flags);
  if (null_fd < 0) return last_os_error();
  if (null_fd == fd) return {};
  const OwnedHandle null_device(null_fd);
  return duplicate_onto(null_fd, fd);
}

}  // namespace

Result<ChannelHandles, OsError> guard_standard_streams() {
  // First of all, since writing to a closed pipe raises SIGPIPE: a closed
  // output (or error) pipe must fail the write, not kill the process.
  if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) return last_os_error();
  if (auto filled = occupy_if_closed(STDIN_FILENO, O_RDONLY); !filled) return filled.error();
  if (auto filled = occupy_if_closed(STDERR_FILENO, O_WRONLY); !filled) return filled.error();

  // With no standard output at all, frames go to an invalid handle and the
  // first reply fails with the system's "bad file descriptor" error.
  OwnedHandle frames(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3));
  if (!frames.is_open() && errno != EBADF) return last_os_error();
  // Descriptor 1 now leads to stderr (or /dev/null when there is none).
  if (auto moved = duplicate_onto(STDERR_FILENO, STDOUT_FILENO); !moved) return moved.error();
  return ChannelHandles{STDIN_FILENO, frames.release()};
}

Result<std::size_t, OsError> read_stream(StreamHandle handle, char* buffer, std::size_t size) {
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

Result<void, OsError> write_stream(StreamHandle handle, const char* data, std::size_t size, std::size_t& written) {
  return posix::write_all(static_cast<int>(handle), std::string_view(data, size), written);
}

Result<void, OsError> flush_stream(StreamHandle) { return {}; }

void write_standard_error(std::string_view text) {
  std::size_t written = 0;
  (void)write_stream(STDERR_FILENO, text.data(), text.size(), written);
}

void close_stream(StreamHandle handle) { OwnedHandle(handle).reset(); }

}  // namespace orvix::platform
