#include "platform/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace orvix::platform {

namespace {

using Clock = std::chrono::steady_clock;

// Linux reports a vanished peer on send with EPIPE plus SIGPIPE unless told
// not to per call; macOS has no such flag and is told once per socket instead.
#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

// More buffers than this in one gathered send are left for the next call.
constexpr std::size_t kMaxGather = 64;

SocketError os_failure(OsError error) { return SocketError{std::move(error), false}; }

SocketError deadline_passed() { return SocketError{os_error_from_code(ETIMEDOUT), true}; }

bool would_block(int code) { return code == EAGAIN || code == EWOULDBLOCK; }

// Waits until `fd` is ready for `events` or `deadline` passes. True when ready
// (an error or hang-up counts: the next call on the socket reports it).
boost::system::result<bool, SocketError> wait_until(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{fd, events, 0};
    const int wait_ms = static_cast<int>(std::min<std::chrono::milliseconds::rep>(left.count(), 1'000'000'000));
    const int ready = ::poll(&entry, 1, wait_ms);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return os_failure(last_os_error());
    // Timed out or interrupted: the loop re-checks the deadline.
  }
}

[[maybe_unused]] boost::system::result<void, OsError> set_flag(int fd, int get_command, int set_command, int flag) {
  const int flags = ::fcntl(fd, get_command);
  if (flags < 0 || ::fcntl(fd, set_command, flags | flag) < 0) return last_os_error();
  return {};
}

boost::system::result<int, OsError> open_stream_socket(int family) {
#if defined(SOCK_CLOEXEC) && defined(SOCK_NONBLOCK)
  const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return last_os_error();
#else
  const int fd = ::socket(family, SOCK_STREAM, 0);
  if (fd < 0) return last_os_error();
  auto flagged = set_flag(fd, F_GETFD, F_SETFD, FD_CLOEXEC);
  if (flagged) flagged = set_flag(fd, F_GETFL, F_SETFL, O_NONBLOCK);
  if (!flagged) {
    ::close(fd);
    return flagged.error();
  }
#endif
#if defined(SO_NOSIGPIPE)
  const int on = 1;
  if (::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on) != 0) {
    OsError error = last_os_error();
    ::close(fd);
    return error;
  }
#endif
  return fd;
}

boost::system::result<void, OsError> set_timeout_option(int fd, int option, std::chrono::milliseconds timeout) {
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
  timeval value{};
  value.tv_sec = static_cast<decltype(value.tv_sec)>(micros / 1'000'000);
  value.tv_usec = static_cast<decltype(value.tv_usec)>(micros % 1'000'000);
  if (::setsockopt(fd, SOL_SOCKET, option, &value, sizeof value) != 0) return last_os_error();
  return {};
}

template <class SystemAddress>
SocketAddress packed(const SystemAddress& address) {
  static_assert(sizeof address <= sizeof(SocketAddress::storage));
  SocketAddress result;
  std::memcpy(result.storage.data(), &address, sizeof address);
  result.size = sizeof address;
  return result;
}

SocketAddress ipv4_address(const in_addr& host, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr = host;
  return packed(address);
}

SocketAddress ipv6_address(const in6_addr& host, std::uint16_t port) {
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_port = htons(port);
  address.sin6_addr = host;
  return packed(address);
}

// Runs `attempt` (a non-blocking send or receive returning a count or -1)
// until it transfers something, fails, or `deadline` passes while the socket
// is not ready for `events`.
template <class Attempt>
boost::system::result<std::size_t, SocketError> transfer_by(int fd, short events, Clock::time_point deadline,
                                                            Attempt attempt) {
  for (;;) {
    const ssize_t done = attempt();
    if (done >= 0) return static_cast<std::size_t>(done);
    if (errno == EINTR) continue;
    if (!would_block(errno)) return os_failure(last_os_error());
    auto ready = wait_until(fd, events, deadline);
    if (!ready) return ready.error();
    if (!*ready) return deadline_passed();
  }
}

OsError resolver_error(int code) {
  if (code == EAI_SYSTEM) return last_os_error();
  return OsError{code, std::string(::gai_strerror(code)) + " (resolver error " + std::to_string(code) + ")"};
}

}  // namespace

boost::system::result<std::optional<SocketAddress>, OsError> resolve_first_address(std::string_view host,
                                                                                  std::uint16_t port) {
  // A NUL would cut the name short when handed to the C interfaces.
  if (host.find('\0') != std::string_view::npos) return resolver_error(EAI_NONAME);
  const std::string name(host);

  in_addr v4{};
  if (::inet_pton(AF_INET, name.c_str(), &v4) == 1) return std::optional(ipv4_address(v4, port));
  in6_addr v6{};
  if (::inet_pton(AF_INET6, name.c_str(), &v6) == 1) return std::optional(ipv6_address(v6, port));

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* list = nullptr;
  const int code = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
  if (code != 0) return resolver_error(code);

  std::optional<SocketAddress> first;
  if (list != nullptr) {
    if (list->ai_family == AF_INET) {
      first = ipv4_address(reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr, port);
    } else if (list->ai_family == AF_INET6) {
      first = ipv6_address(reinterpret_cast<const sockaddr_in6*>(list->ai_addr)->sin6_addr, port);
    }
  }
  ::freeaddrinfo(list);
  return first;
}

void TcpSocket::close() {
  if (handle_ == kNoHandle) return;
  // The descriptor is gone whatever close() reports; retrying could close a
  // descriptor another part of the process has opened since.
  ::close(static_cast<int>(handle_));
  handle_ = kNoHandle;
}

boost::system::result<TcpSocket, SocketError> TcpSocket::connect(const SocketAddress& address,
                                                                 std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  sockaddr_storage target{};
  std::memcpy(&target, address.storage.data(), std::min<std::size_t>(address.size, sizeof target));

  auto fd = open_stream_socket(target.ss_family);
  if (!fd) return os_failure(fd.error());
  TcpSocket socket(*fd);

  if (::connect(*fd, reinterpret_cast<const sockaddr*>(&target), address.size) == 0) return socket;
  // An interrupted connect carries on in the background, like one in progress.
  if (errno != EINPROGRESS && errno != EINTR) return os_failure(last_os_error());

  auto ready = wait_until(*fd, POLLOUT, deadline);
  if (!ready) return ready.error();
  if (!*ready) return SocketError{OsError{ETIMEDOUT, "connection timed out"}, true};

  int pending = 0;
  socklen_t length = sizeof pending;
  if (::getsockopt(*fd, SOL_SOCKET, SO_ERROR, &pending, &length) != 0) return os_failure(last_os_error());
  if (pending != 0) return os_failure(os_error_from_code(pending));
  return socket;
}

boost::system::result<void, OsError> TcpSocket::set_receive_timeout(std::chrono::milliseconds timeout) {
  return set_timeout_option(static_cast<int>(handle_), SO_RCVTIMEO, timeout);
}

boost::system::result<void, OsError> TcpSocket::set_send_timeout(std::chrono::milliseconds timeout) {
  return set_timeout_option(static_cast<int>(handle_), SO_SNDTIMEO, timeout);
}

boost::system::result<std::size_t, SocketError> TcpSocket::receive_some(std::span<std::byte> buffer,
                                                                        std::chrono::milliseconds timeout) {
  if (buffer.empty()) return std::size_t{0};
  const int fd = static_cast<int>(handle_);
  return transfer_by(fd, POLLIN, Clock::now() + timeout,
                     [&] { return ::recv(fd, buffer.data(), buffer.size(), 0); });
}

boost::system::result<std::size_t, SocketError> TcpSocket::send_some(
    std::span<const std::span<const std::byte>> buffers, std::chrono::milliseconds timeout) {
  iovec pieces[kMaxGather];
  std::size_t count = 0;
  for (const auto& buffer : buffers) {
    if (buffer.empty()) continue;
    if (count == kMaxGather) break;
    pieces[count].iov_base = const_cast<std::byte*>(buffer.data());
    pieces[count].iov_len = buffer.size();
    ++count;
  }
  if (count == 0) return std::size_t{0};

  msghdr message{};
  message.msg_iov = pieces;
  message.msg_iovlen = static_cast<decltype(message.msg_iovlen)>(count);
  const int fd = static_cast<int>(handle_);
  return transfer_by(fd, POLLOUT, Clock::now() + timeout, [&] { return ::sendmsg(fd, &message, kSendFlags); });
}

}  // namespace orvix::platform
