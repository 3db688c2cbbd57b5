// The system's socket declarations for tcp_socket.cpp, which is shared by
// both platforms: CMake puts posix/ or win32/ on its include path, so that
// "socket_system.h" names this file or posix/socket_system.h.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

namespace orvix::platform::socket_calls {

// The error code of a connect that did not finish in time.
inline constexpr int kTimedOut = WSAETIMEDOUT;

}  // namespace orvix::platform::socket_calls
