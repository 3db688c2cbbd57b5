// TCP client sockets: name resolution, connect with a deadline, and
// send/receive calls that never wait longer than the deadline they are given.
//
// Every call returns at once or within its deadline; none retries on its own.
// Failures carry the system's text (os_error.h); a deadline that passes first
// is reported as a SocketError with `timed_out` set. Writing to a socket whose
// peer has gone never raises SIGPIPE: it fails with the system's error instead.
// A TcpSocket owns its descriptor and closes it when destroyed (move-only).
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "base/result.h"
#include "platform/os_error.h"

namespace orvix::platform {

// An IPv4 or IPv6 address with its port, held in the system's own layout.
struct SocketAddress {
  std::array<std::byte, 128> storage{};
  std::uint32_t size = 0;
};

// A failed socket operation: the system's error, or the deadline passing
// before the operation could complete.
struct SocketError {
  OsError os;
  bool timed_out = false;
};

// The address `host` names, with `port`. A host that is a literal IPv4
// address ("127.0.0.1") or IPv6 address ("::1", without brackets) yields that
// address without asking the resolver; any other text goes to the system
// resolver and only the first address it lists is returned. Nothing (an empty
// optional) when the resolver succeeds with an empty list. A resolver failure
// carries the resolver's own message and code: "<message> (resolver error N)"
// where the resolver has its own codes, else the usual OS error text.
// Blocks for as long as the system resolver takes.
[[nodiscard]] Result<std::optional<SocketAddress>, OsError> resolve_first_address(std::string_view host,
                                                                                  std::uint16_t port);

class TcpSocket {
 public:
  TcpSocket() = default;
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&& other) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;
  ~TcpSocket();

  // A connected socket, or the system's reason for refusing. An attempt that
  // has not completed when `timeout` passes fails with `timed_out` set and the
  // text "connection timed out". The socket is left in non-blocking mode: the
  // send/receive calls below do their own waiting. It sends each write at
  // once (TCP_NODELAY), without waiting to join it to the next.
  //
  // A connect to a loopback address (127.0.0.0/8, ::1) is told to give up
  // on the first reset. Windows otherwise answers a closed port's reset by
  // sending the SYN again for about two seconds before it reports "refused",
  // so with the host's 1.5 s limit a stale runtime descriptor would read as
  // "connection timed out" after 1.5 s on every request, where Linux says
  // "refused" at once. So on Windows 10 1709 (build 16299) and later the
  // socket gets SIO_TCP_INITIAL_RTO with no SYN retransmissions, and older
  // builds, which do not know that setting, one retransmission. Best effort:
  // when the system refuses it, the connect goes on as before.
  [[nodiscard]] static Result<TcpSocket, SocketError> connect(const SocketAddress& address,
                                                              std::chrono::milliseconds timeout);

  // The system's own receive/send timeouts (SO_RCVTIMEO / SO_SNDTIMEO).
  // They matter only to blocking calls; the calls below keep their own
  // deadlines, so these are a backstop for anything that blocks regardless.
  [[nodiscard]] Result<void, OsError> set_receive_timeout(std::chrono::milliseconds timeout);
  [[nodiscard]] Result<void, OsError> set_send_timeout(std::chrono::milliseconds timeout);

  // Receives between 1 and `buffer.size()` bytes, waiting at most `timeout`
  // for the first to arrive. 0 means the peer shut down its side in order
  // (or `buffer` is empty).
  [[nodiscard]] Result<std::size_t, SocketError> receive_some(std::span<std::byte> buffer,
                                                              std::chrono::milliseconds timeout);

  // Sends between 1 and the total size of `buffers` bytes, taken in order
  // from the buffers as one gathered write, waiting at most `timeout` for room
  // in the send buffer. 0 only when every buffer is empty.
  [[nodiscard]] Result<std::size_t, SocketError> send_some(std::span<const std::span<const std::byte>> buffers,
                                                           std::chrono::milliseconds timeout);

  bool is_open() const { return handle_ != kNoHandle; }
  // The system's own number for the socket (a descriptor or a SOCKET), to
  // read its options.
  std::intptr_t native_handle() const { return handle_; }

  // Closes the descriptor at once, without any shutdown exchange. Idempotent.
  void close();

 private:
  // -1 is both the POSIX invalid descriptor and Windows' INVALID_SOCKET.
  static constexpr std::intptr_t kNoHandle = -1;
  explicit TcpSocket(std::intptr_t handle) : handle_(handle) {}

  std::intptr_t handle_ = kNoHandle;
};

}  // namespace orvix::platform
