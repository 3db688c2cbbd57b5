// The socket's ownership, the same on every platform; close() is each
// platform's own.
#include "platform/tcp_socket.h"

namespace orvix::platform {

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

}  // namespace orvix::platform
