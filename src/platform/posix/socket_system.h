// The system's socket declarations for tcp_socket.cpp, which is shared by
// both platforms: CMake puts posix/ or win32/ on its include path, so that
// "socket_system.h" names this file or win32/socket_system.h.
#pragma once

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

namespace orvix::platform::socket_calls {

// The error code of a connect that did not finish in time.
inline constexpr int kTimedOut = ETIMEDOUT;

}  // namespace orvix::platform::socket_calls
