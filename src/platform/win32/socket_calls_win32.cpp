#include "platform/socket_calls.h"

// winsock2.h must come before windows.h, which would bring the old winsock.h.
#include <winsock2.h>

#include <mstcpip.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <algorithm>

namespace orvix::platform::socket_calls {

namespace {

SOCKET as_socket(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

OsError last_socket_error() { return os_error_from_code(WSAGetLastError()); }

// The running system's build number, or 0 when it cannot be told.
// RtlGetVersion reports the true version, whatever the program's manifest
// says (GetVersionEx would report Windows 8 to a program without one).
DWORD windows_build() {
  static const DWORD build = [] {
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto get_version =
        ntdll ? reinterpret_cast<GetVersion>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion"))) : nullptr;
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (get_version == nullptr || get_version(&version) != 0) return DWORD{0};
    return version.dwBuildNumber;
  }();
  return build;
}

// SIO_TCP_INITIAL_RTO's settings (TCP_INITIAL_RTO_PARAMETERS): the round
// trip left to the system, and no SYN sent again after a reset, which
// Windows 10 1709 is the first to take (tcp_socket.h says why).
static_assert(SIO_TCP_INITIAL_RTO == 0x98000011);
constexpr USHORT kUnspecifiedRtt = 0xFFFF;
constexpr UCHAR kNoSynRetransmissions = 0xFE;
constexpr DWORD kFirstBuildWithoutSynRetransmissions = 16299;

}  // namespace

void start() {
  // Started once per process; it stays up until the process ends.
  static const bool started = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

// Windows' resolver reports Winsock error codes, which have system texts.
OsError resolver_error(int code) { return os_error_from_code(code); }

Result<std::intptr_t, OsError> open_stream(int family) {
  // Not inherited by child processes; sends to a vanished peer fail with an
  // error (Windows has no SIGPIPE).
  const SOCKET raw = ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (raw == INVALID_SOCKET) return last_socket_error();
  u_long non_blocking = 1;
  const BOOL no_delay = TRUE;
  if (::ioctlsocket(raw, FIONBIO, &non_blocking) != 0 ||
      ::setsockopt(raw, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay), sizeof no_delay) != 0) {
    OsError error = last_socket_error();
    ::closesocket(raw);
    return error;
  }
  return static_cast<std::intptr_t>(raw);
}

void prepare_loopback_connect(std::intptr_t socket) {
  TCP_INITIAL_RTO_PARAMETERS parameters{};
  parameters.Rtt = kUnspecifiedRtt;
  parameters.MaxSynRetransmissions =
      windows_build() >= kFirstBuildWithoutSynRetransmissions ? kNoSynRetransmissions : 1;
  DWORD returned = 0;
  // Best effort: a system that refuses it retries as before; nothing is retried here.
  (void)::WSAIoctl(as_socket(socket), SIO_TCP_INITIAL_RTO, &parameters, sizeof parameters, nullptr, 0, &returned,
                   nullptr, nullptr);
}

Result<bool, OsError> start_connect(std::intptr_t socket, const void* address, std::uint32_t size) {
  if (::connect(as_socket(socket), static_cast<const sockaddr*>(address), static_cast<int>(size)) == 0) return true;
  if (WSAGetLastError() == WSAEWOULDBLOCK) return false;
  return last_socket_error();
}

Result<int, OsError> connect_error(std::intptr_t socket) {
  int pending = 0;
  int length = sizeof pending;
  if (::getsockopt(as_socket(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pending), &length) != 0) {
    return last_socket_error();
  }
  return pending;
}

Result<bool, OsError> wait_until(std::intptr_t socket, Wait wait, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    const auto capped = std::min<std::chrono::microseconds::rep>(left.count(), 1'000'000'000);
    timeval limit{};
    limit.tv_sec = static_cast<long>(capped / 1'000'000);
    limit.tv_usec = static_cast<long>(capped % 1'000'000);
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(as_socket(socket), &ready);
    // A connect that fails is reported in the exception set, not as writable.
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(as_socket(socket), &failed);
    const int count = ::select(0, wait == Wait::kReadable ? &ready : nullptr,
                               wait == Wait::kWritable ? &ready : nullptr, &failed, &limit);
    if (count > 0) return true;
    if (count == SOCKET_ERROR) return last_socket_error();
  }
}

Result<std::optional<std::size_t>, OsError> receive_once(std::intptr_t socket, std::span<std::byte> buffer) {
  const int size = static_cast<int>(std::min<std::size_t>(buffer.size(), 1 << 30));
  const int got = ::recv(as_socket(socket), reinterpret_cast<char*>(buffer.data()), size, 0);
  if (got != SOCKET_ERROR) return std::optional(static_cast<std::size_t>(got));
  if (WSAGetLastError() == WSAEWOULDBLOCK) return std::optional<std::size_t>();
  return last_socket_error();
}

Result<std::optional<std::size_t>, OsError> send_once(std::intptr_t socket,
                                                      std::span<const std::span<const std::byte>> buffers) {
  WSABUF pieces[kMaxGather];
  DWORD count = 0;
  for (const auto& buffer : buffers) {
    if (buffer.empty()) continue;
    if (count == kMaxGather) break;
    pieces[count].buf = reinterpret_cast<CHAR*>(const_cast<std::byte*>(buffer.data()));
    pieces[count].len = static_cast<ULONG>(std::min<std::size_t>(buffer.size(), 1 << 30));
    ++count;
  }
  DWORD sent = 0;
  if (::WSASend(as_socket(socket), pieces, count, &sent, 0, nullptr, nullptr) == 0) {
    return std::optional(static_cast<std::size_t>(sent));
  }
  if (WSAGetLastError() == WSAEWOULDBLOCK) return std::optional<std::size_t>();
  return last_socket_error();
}

Result<void, OsError> set_timeout(std::intptr_t socket, int option, std::chrono::milliseconds timeout) {
  // Winsock takes the timeout as a DWORD of milliseconds (not a timeval).
  const auto ms = std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, MAXDWORD);
  const DWORD value = static_cast<DWORD>(ms);
  if (::setsockopt(as_socket(socket), SOL_SOCKET, option, reinterpret_cast<const char*>(&value), sizeof value) != 0) {
    return last_socket_error();
  }
  return {};
}

void close(std::intptr_t socket) { ::closesocket(as_socket(socket)); }

}  // namespace orvix::platform::socket_calls
