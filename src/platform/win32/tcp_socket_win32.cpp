#include "platform/tcp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace orvix::platform {

namespace {

using Clock = std::chrono::steady_clock;

// More buffers than this in one gathered send are left for the next call.
constexpr std::size_t kMaxGather = 64;

// Winsock must be started once per process before any other call; it stays
// up until the process ends. A failed start is seen by the first call that
// needs it (WSANOTINITIALISED).
void start_winsock() {
  static const bool started = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

SOCKET as_socket(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

OsError last_socket_error() { return os_error_from_code(WSAGetLastError()); }

SocketError os_failure(OsError error) { return SocketError{std::move(error), false}; }

SocketError deadline_passed() { return SocketError{os_error_from_code(WSAETIMEDOUT), true}; }

enum class Wait { kReadable, kWritable };

// Waits until `socket` is ready or `deadline` passes. True when ready; a
// failed connect counts as ready (its error is read next).
boost::system::result<bool, SocketError> wait_until(SOCKET socket, Wait wait, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    const auto capped = std::min<std::chrono::microseconds::rep>(left.count(), 1'000'000'000);
    timeval limit{};
    limit.tv_sec = static_cast<long>(capped / 1'000'000);
    limit.tv_usec = static_cast<long>(capped % 1'000'000);
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(socket, &ready);
    // A connect that fails is reported in the exception set, not as writable.
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(socket, &failed);
    const int count = ::select(0, wait == Wait::kReadable ? &ready : nullptr,
                               wait == Wait::kWritable ? &ready : nullptr, &failed, &limit);
    if (count > 0) return true;
    if (count == SOCKET_ERROR) return os_failure(last_socket_error());
  }
}

boost::system::result<void, OsError> set_timeout_option(SOCKET socket, int option, std::chrono::milliseconds timeout) {
  // Winsock takes the timeout as a DWORD of milliseconds (not a timeval).
  const auto ms = std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, MAXDWORD);
  const DWORD value = static_cast<DWORD>(ms);
  if (::setsockopt(socket, SOL_SOCKET, option, reinterpret_cast<const char*>(&value), sizeof value) != 0) {
    return last_socket_error();
  }
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

// Runs `attempt` (a non-blocking send or receive returning a count or
// SOCKET_ERROR) until it transfers something, fails, or `deadline` passes
// while the socket is not ready.
template <class Attempt>
boost::system::result<std::size_t, SocketError> transfer_by(SOCKET socket, Wait wait, Clock::time_point deadline,
                                                            Attempt attempt) {
  for (;;) {
    const int done = attempt();
    if (done != SOCKET_ERROR) return static_cast<std::size_t>(done);
    if (WSAGetLastError() != WSAEWOULDBLOCK) return os_failure(last_socket_error());
    auto ready = wait_until(socket, wait, deadline);
    if (!ready) return ready.error();
    if (!*ready) return deadline_passed();
  }
}

}  // namespace

boost::system::result<std::optional<SocketAddress>, OsError> resolve_first_address(std::string_view host,
                                                                                  std::uint16_t port) {
  start_winsock();
  // A NUL would cut the name short when handed to the C interfaces.
  if (host.find('\0') != std::string_view::npos) return os_error_from_code(WSAHOST_NOT_FOUND);
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
  // Windows' resolver reports Winsock error codes, which have system texts.
  const int code = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
  if (code != 0) return os_error_from_code(code);

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
  ::closesocket(as_socket(handle_));
  handle_ = kNoHandle;
}

boost::system::result<TcpSocket, SocketError> TcpSocket::connect(const SocketAddress& address,
                                                                 std::chrono::milliseconds timeout) {
  start_winsock();
  const auto deadline = Clock::now() + timeout;
  sockaddr_storage target{};
  std::memcpy(&target, address.storage.data(), std::min<std::size_t>(address.size, sizeof target));

  // Not inherited by child processes; sends to a vanished peer fail with an
  // error (Windows has no SIGPIPE).
  const SOCKET raw = ::WSASocketW(target.ss_family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (raw == INVALID_SOCKET) return os_failure(last_socket_error());
  TcpSocket socket(static_cast<std::intptr_t>(raw));
  u_long non_blocking = 1;
  if (::ioctlsocket(raw, FIONBIO, &non_blocking) != 0) return os_failure(last_socket_error());

  if (::connect(raw, reinterpret_cast<const sockaddr*>(&target), static_cast<int>(address.size)) == 0) return socket;
  if (WSAGetLastError() != WSAEWOULDBLOCK) return os_failure(last_socket_error());

  auto ready = wait_until(raw, Wait::kWritable, deadline);
  if (!ready) return ready.error();
  if (!*ready) return SocketError{OsError{WSAETIMEDOUT, "connection timed out"}, true};

  int pending = 0;
  int length = sizeof pending;
  if (::getsockopt(raw, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pending), &length) != 0) {
    return os_failure(last_socket_error());
  }
  if (pending != 0) return os_failure(os_error_from_code(pending));
  return socket;
}

boost::system::result<void, OsError> TcpSocket::set_receive_timeout(std::chrono::milliseconds timeout) {
  return set_timeout_option(as_socket(handle_), SO_RCVTIMEO, timeout);
}

boost::system::result<void, OsError> TcpSocket::set_send_timeout(std::chrono::milliseconds timeout) {
  return set_timeout_option(as_socket(handle_), SO_SNDTIMEO, timeout);
}

boost::system::result<std::size_t, SocketError> TcpSocket::receive_some(std::span<std::byte> buffer,
                                                                        std::chrono::milliseconds timeout) {
  if (buffer.empty()) return std::size_t{0};
  const SOCKET socket = as_socket(handle_);
  const int size = static_cast<int>(std::min<std::size_t>(buffer.size(), 1 << 30));
  return transfer_by(socket, Wait::kReadable, Clock::now() + timeout,
                     [&] { return ::recv(socket, reinterpret_cast<char*>(buffer.data()), size, 0); });
}

boost::system::result<std::size_t, SocketError> TcpSocket::send_some(
    std::span<const std::span<const std::byte>> buffers, std::chrono::milliseconds timeout) {
  WSABUF pieces[kMaxGather];
  DWORD count = 0;
  for (const auto& buffer : buffers) {
    if (buffer.empty()) continue;
    if (count == kMaxGather) break;
    pieces[count].buf = reinterpret_cast<CHAR*>(const_cast<std::byte*>(buffer.data()));
    pieces[count].len = static_cast<ULONG>(std::min<std::size_t>(buffer.size(), 1 << 30));
    ++count;
  }
  if (count == 0) return std::size_t{0};

  const SOCKET socket = as_socket(handle_);
  return transfer_by(socket, Wait::kWritable, Clock::now() + timeout, [&]() -> int {
    DWORD sent = 0;
    if (::WSASend(socket, pieces, count, &sent, 0, nullptr, nullptr) != 0) return SOCKET_ERROR;
    return static_cast<int>(sent);
  });
}

}  // namespace orvix::platform
