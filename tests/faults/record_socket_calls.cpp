// A preload library for black-box tests on Linux: it records how the program
// it is loaded into hands its TCP traffic to the system, so that a test can
// see whether a message left in as few writes as the socket takes, was read
// in few reads, and went out on a socket that sends each write at once.
//
// ORVIX_RECORD_SOCKET_CALLS names a file. Each send, sendmsg, recv and
// recvmsg call on a TCP socket appends one line to it:
//   <call> <descriptor> <bytes offered> <bytes moved, or -1> <TCP_NODELAY 0 or 1>
// Calls on other descriptors, and every call when the variable is unset,
// pass through unrecorded.
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

template <class Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

bool is_tcp(int fd) {
  int type = 0;
  socklen_t size = sizeof type;
  if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) != 0 || type != SOCK_STREAM) return false;
  sockaddr_storage address{};
  socklen_t address_size = sizeof address;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &address_size) != 0) return false;
  return address.ss_family == AF_INET || address.ss_family == AF_INET6;
}

std::size_t total(const msghdr* message) {
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < message->msg_iovlen; ++i) bytes += message->msg_iov[i].iov_len;
  return bytes;
}

// One line per call, written in one append so that threads do not mix them.
void record(const char* call, int fd, std::size_t offered, ssize_t moved) {
  const char* path = std::getenv("ORVIX_RECORD_SOCKET_CALLS");
  if (path == nullptr || !is_tcp(fd)) return;
  const int saved = errno;
  int no_delay = 0;
  socklen_t size = sizeof no_delay;
  (void)::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &no_delay, &size);
  char line[128];
  const int length = std::snprintf(line, sizeof line, "%s %d %zu %zd %d\n", call, fd, offered, moved < 0 ? -1 : moved,
                                   no_delay != 0 ? 1 : 0);
  const int log = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (log >= 0) {
    (void)!::write(log, line, static_cast<std::size_t>(length));
    ::close(log);
  }
  errno = saved;
}

}  // namespace

extern "C" {

ssize_t send(int fd, const void* buffer, std::size_t size, int flags) {
  static const auto real = next<ssize_t (*)(int, const void*, std::size_t, int)>("send");
  const ssize_t moved = real(fd, buffer, size, flags);
  record("send", fd, size, moved);
  return moved;
}

ssize_t sendmsg(int fd, const msghdr* message, int flags) {
  static const auto real = next<ssize_t (*)(int, const msghdr*, int)>("sendmsg");
  const ssize_t moved = real(fd, message, flags);
  record("send", fd, total(message), moved);
  return moved;
}

ssize_t recv(int fd, void* buffer, std::size_t size, int flags) {
  static const auto real = next<ssize_t (*)(int, void*, std::size_t, int)>("recv");
  const ssize_t moved = real(fd, buffer, size, flags);
  record("recv", fd, size, moved);
  return moved;
}

ssize_t recvmsg(int fd, msghdr* message, int flags) {
  static const auto real = next<ssize_t (*)(int, msghdr*, int)>("recvmsg");
  const ssize_t moved = real(fd, message, flags);
  record("recv", fd, total(message), moved);
  return moved;
}

}  // extern "C"
