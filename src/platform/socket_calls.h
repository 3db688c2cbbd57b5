// The socket calls that POSIX and Winsock make differently, beneath
// tcp_socket.cpp, which holds what both share: addresses, the resolver's
// first answer, the steps of a connect, and the loop that waits for a socket
// until a deadline. Internal to the platform layer; socket_calls_posix.cpp and
// socket_calls_win32.cpp define them. A socket is TcpSocket's number for it.
// No call blocks except wait_until(), and that only until its deadline.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "base/result.h"
#include "platform/os_error.h"

namespace orvix::platform::socket_calls {

using Clock = std::chrono::steady_clock;
enum class Wait { kReadable, kWritable };

// More buffers than this in one gathered send are left for the next call.
inline constexpr std::size_t kMaxGather = 64;

// Makes the socket library usable (Winsock must be started once per
// process); called first by every entry point. A failed start shows in the
// next call.
void start();

// The resolver's failure `code` (a getaddrinfo result) as an error.
OsError resolver_error(int code);

// A new TCP socket of address family `family`: non-blocking, not inherited
// by child processes, never raising SIGPIPE, and sending each write at once
// (TCP_NODELAY): a message's last small segment must not wait for the
// acknowledgement of the one before, which a peer may delay by 40 ms or more.
[[nodiscard]] Result<std::intptr_t, OsError> open_stream(int family);

// Called before connecting to a loopback address; best effort, so nothing
// is reported (what it does and why: tcp_socket.h).
void prepare_loopback_connect(std::intptr_t socket);

// Starts connecting: true when connected at once, false when the connect
// goes on in the background (wait_until kWritable, then connect_error).
[[nodiscard]] Result<bool, OsError> start_connect(std::intptr_t socket, const void* address, std::uint32_t size);

// How a connect that went on in the background ended: 0, or the system's
// error code.
[[nodiscard]] Result<int, OsError> connect_error(std::intptr_t socket);

// Waits until `socket` is ready or `deadline` passes: true when ready (an
// error, a hang-up or a failed connect counts; the next call reports it).
[[nodiscard]] Result<bool, OsError> wait_until(std::intptr_t socket, Wait wait, Clock::time_point deadline);

// One receive, or one gathered send of the non-empty buffers (at most
// kMaxGather of them): the bytes moved, or nothing when the socket would
// block. Interrupted calls are repeated.
[[nodiscard]] Result<std::optional<std::size_t>, OsError> receive_once(std::intptr_t socket,
                                                                       std::span<std::byte> buffer);
[[nodiscard]] Result<std::optional<std::size_t>, OsError> send_once(
    std::intptr_t socket, std::span<const std::span<const std::byte>> buffers);

// The system's receive or send timeout (SO_RCVTIMEO / SO_SNDTIMEO as `option`).
[[nodiscard]] Result<void, OsError> set_timeout(std::intptr_t socket, int option, std::chrono::milliseconds timeout);

void close(std::intptr_t socket);

}  // namespace orvix::platform::socket_calls
