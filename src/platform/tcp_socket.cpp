// What TCP sockets do alike on every platform: addresses in the system's
// layout, the resolver's first answer, the steps of a connect with its
// deadline, and the loop that waits for a socket until a deadline. The calls
// that differ are in socket_calls.h.
#include "platform/tcp_socket.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/socket_calls.h"
#include "socket_system.h"  // posix/ or win32/, chosen by CMake

namespace orvix::platform {

namespace {

using socket_calls::Clock;
using socket_calls::Wait;

SocketError os_failure(OsError error) { return SocketError{std::move(error), false}; }

SocketError deadline_passed() { return SocketError{os_error_from_code(socket_calls::kTimedOut), true}; }

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

// 127.0.0.0/8 or ::1.
bool is_loopback(const sockaddr_storage& target) {
  if (target.ss_family == AF_INET) {
    return (ntohl(reinterpret_cast<const sockaddr_in&>(target).sin_addr.s_addr) >> 24) == 127;
  }
  if (target.ss_family != AF_INET6) return false;
  const auto& bytes = reinterpret_cast<const sockaddr_in6&>(target).sin6_addr.s6_addr;
  return std::all_of(bytes, bytes + 15, [](auto b) { return b == 0; }) && bytes[15] == 1;
}

// Runs `attempt` (one receive or send, returning the bytes moved or nothing
// when the socket would block) until it moves something, fails, or
// `deadline` passes while the socket is not ready.
template <class Attempt>
Result<std::size_t, SocketError> transfer_by(std::intptr_t socket, Wait wait, Clock::time_point deadline,
                                             Attempt attempt) {
  for (;;) {
    auto done = attempt();
    if (!done) return os_failure(std::move(done.error()));
    if (*done) return **done;
    auto ready = socket_calls::wait_until(socket, wait, deadline);
    if (!ready) return os_failure(std::move(ready.error()));
    if (!*ready) return deadline_passed();
  }
}

}  // namespace

Result<std::optional<SocketAddress>, OsError> resolve_first_address(std::string_view host, std::uint16_t port) {
  socket_calls::start();
  // A NUL would cut the name short when handed to the C interfaces.
  if (host.find('\0') != std::string_view::npos) return socket_calls::resolver_error(EAI_NONAME);
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
  if (code != 0) return socket_calls::resolver_error(code);

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

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : handle_(other.handle_) { other.handle_ = kNoHandle; }

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    other.handle_ = kNoHandle;
  }
  return *this;
}

TcpSocket::~TcpSocket() { close(); }

void TcpSocket::close() {
  if (handle_ == kNoHandle) return;
  socket_calls::close(handle_);
  handle_ = kNoHandle;
}

Result<TcpSocket, SocketError> TcpSocket::connect(const SocketAddress& address, std::chrono::milliseconds timeout) {
  socket_calls::start();
  const auto deadline = Clock::now() + timeout;
  sockaddr_storage target{};
  std::memcpy(&target, address.storage.data(), std::min<std::size_t>(address.size, sizeof target));

  auto opened = socket_calls::open_stream(target.ss_family);
  if (!opened) return os_failure(std::move(opened.error()));
  TcpSocket socket(*opened);
  if (is_loopback(target)) socket_calls::prepare_loopback_connect(socket.handle_);

  auto started = socket_calls::start_connect(socket.handle_, &target, address.size);
  if (!started) return os_failure(std::move(started.error()));
  if (*started) return socket;

  auto ready = socket_calls::wait_until(socket.handle_, Wait::kWritable, deadline);
  if (!ready) return os_failure(std::move(ready.error()));
  if (!*ready) return SocketError{OsError{socket_calls::kTimedOut, "connection timed out"}, true};
  auto pending = socket_calls::connect_error(socket.handle_);
  if (!pending) return os_failure(std::move(pending.error()));
  if (*pending != 0) return os_failure(os_error_from_code(*pending));
  return socket;
}

Result<void, OsError> TcpSocket::set_receive_timeout(std::chrono::milliseconds timeout) {
  return socket_calls::set_timeout(handle_, SO_RCVTIMEO, timeout);
}

Result<void, OsError> TcpSocket::set_send_timeout(std::chrono::milliseconds timeout) {
  return socket_calls::set_timeout(handle_, SO_SNDTIMEO, timeout);
}

Result<std::size_t, SocketError> TcpSocket::receive_some(std::span<std::byte> buffer,
                                                         std::chrono::milliseconds timeout) {
  if (buffer.empty()) return std::size_t{0};
  return transfer_by(handle_, Wait::kReadable, Clock::now() + timeout,
                     [&] { return socket_calls::receive_once(handle_, buffer); });
}

Result<std::size_t, SocketError> TcpSocket::send_some(std::span<const std::span<const std::byte>> buffers,
                                                      std::chrono::milliseconds timeout) {
  if (std::all_of(buffers.begin(), buffers.end(), [](const auto& buffer) { return buffer.empty(); })) {
    return std::size_t{0};
  }
  return transfer_by(handle_, Wait::kWritable, Clock::now() + timeout,
                     [&] { return socket_calls::send_once(handle_, buffers); });
}

}  // namespace orvix::platform
