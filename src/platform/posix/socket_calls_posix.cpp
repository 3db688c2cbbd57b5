#include "platform/socket_calls.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/owned_handle.h"

namespace orvix::platform::socket_calls {

namespace {

// Linux reports a vanished peer on send with EPIPE plus SIGPIPE unless told
// not to per call; macOS has no such flag and is told once per socket instead.
#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

int fd_of(std::intptr_t socket) { return static_cast<int>(socket); }

bool would_block(int code) { return code == EAGAIN || code == EWOULDBLOCK; }

[[maybe_unused]] Result<void, OsError> set_flag(int fd, int get_command, int set_command, int flag) {
  const int flags = ::fcntl(fd, get_command);
  if (flags < 0 || ::fcntl(fd, set_command, flags | flag) < 0) return last_os_error();
  return {};
}

// Repeats `call` (returning a count or -1 with errno) while interrupted; a
// call that would block gives nothing.
template <class Call>
Result<std::optional<std::size_t>, OsError> once(Call call) {
  for (;;) {
    const ssize_t done = call();
    if (done >= 0) return std::optional(static_cast<std::size_t>(done));
    if (errno == EINTR) continue;
    if (would_block(errno)) return std::optional<std::size_t>();
    return last_os_error();
  }
}

}  // namespace

void start() {}

OsError resolver_error(int code) {
  if (code == EAI_SYSTEM) return last_os_error();
  return OsError{code, std::string(::gai_strerror(code)) + " (resolver error " + std::to_string(code) + ")"};
}

Result<std::intptr_t, OsError> open_stream(int family) {
#if defined(SOCK_CLOEXEC) && defined(SOCK_NONBLOCK)
  OwnedHandle socket(::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!socket.is_open()) return last_os_error();
#else
  OwnedHandle socket(::socket(family, SOCK_STREAM, 0));
  if (!socket.is_open()) return last_os_error();
  const int fd = fd_of(socket.get());
  if (auto flagged = set_flag(fd, F_GETFD, F_SETFD, FD_CLOEXEC); !flagged) return flagged.error();
  if (auto flagged = set_flag(fd, F_GETFL, F_SETFL, O_NONBLOCK); !flagged) return flagged.error();
#endif
  const int on = 1;
#if defined(SO_NOSIGPIPE)
  if (::setsockopt(fd_of(socket.get()), SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on) != 0) return last_os_error();
#endif
  if (::setsockopt(fd_of(socket.get()), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) return last_os_error();
  return socket.release();
}

// A connect to a closed loopback port is refused at once here.
void prepare_loopback_connect(std::intptr_t) {}

Result<bool, OsError> start_connect(std::intptr_t socket, const void* address, std::uint32_t size) {
  if (::connect(fd_of(socket), static_cast<const sockaddr*>(address), size) == 0) return true;
  // An interrupted connect carries on in the background, like one in progress.
  if (errno == EINPROGRESS || errno == EINTR) return false;
  return last_os_error();
}

Result<int, OsError> connect_error(std::intptr_t socket) {
  int pending = 0;
  socklen_t length = sizeof pending;
  if (::getsockopt(fd_of(socket), SOL_SOCKET, SO_ERROR, &pending, &length) != 0) return last_os_error();
  return pending;
}

Result<bool, OsError> wait_until(std::intptr_t socket, Wait wait, Clock::time_point deadline) {
  const short events = wait == Wait::kReadable ? POLLIN : POLLOUT;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{fd_of(socket), events, 0};
    const int wait_ms = static_cast<int>(std::min<std::chrono::milliseconds::rep>(left.count(), 1'000'000'000));
    const int ready = ::poll(&entry, 1, wait_ms);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return last_os_error();
    // Timed out or interrupted: the loop re-checks the deadline.
  }
}

Result<std::optional<std::size_t>, OsError> receive_once(std::intptr_t socket, std::span<std::byte> buffer) {
  return once([&] { return ::recv(fd_of(socket), buffer.data(), buffer.size(), 0); });
}

Result<std::optional<std::size_t>, OsError> send_once(std::intptr_t socket,
                                                      std::span<const std::span<const std::byte>> buffers) {
  iovec pieces[kMaxGather];
  std::size_t count = 0;
  for (const auto& buffer : buffers) {
    if (buffer.empty()) continue;
    if (count == kMaxGather) break;
    pieces[count].iov_base = const_cast<std::byte*>(buffer.data());
    pieces[count].iov_len = buffer.size();
    ++count;
  }
  msghdr message{};
  message.msg_iov = pieces;
  message.msg_iovlen = static_cast<decltype(message.msg_iovlen)>(count);
  return once([&] { return ::sendmsg(fd_of(socket), &message, kSendFlags); });
}

Result<void, OsError> set_timeout(std::intptr_t socket, int option, std::chrono::milliseconds timeout) {
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
  timeval value{};
  value.tv_sec = static_cast<decltype(value.tv_sec)>(micros / 1'000'000);
  value.tv_usec = static_cast<decltype(value.tv_usec)>(micros % 1'000'000);
  if (::setsockopt(fd_of(socket), SOL_SOCKET, option, &value, sizeof value) != 0) return last_os_error();
  return {};
}

void close(std::intptr_t socket) {
  // The descriptor is gone whatever close() reports; retrying could close a
  // descriptor another part of the process has opened since.
  ::close(fd_of(socket));
}

}  // namespace orvix::platform::socket_calls
