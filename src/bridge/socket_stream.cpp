#include "bridge/socket_stream.h"

#include <string>

#include <boost/asio/error.hpp>

namespace orvix::bridge {

namespace {

class SocketStreamCategory final : public boost::system::error_category {
 public:
  const char* name() const noexcept override { return "orvix.socket_stream"; }
  std::string message(int value) const override {
    switch (static_cast<SocketStreamError>(value)) {
      case SocketStreamError::receive_timed_out: return "timed out waiting for data from the runtime";
      case SocketStreamError::send_timed_out: return "timed out waiting to send to the runtime";
      case SocketStreamError::frame_too_large: return "WebSocket frame larger than 16 MiB";
    }
    return "socket stream error";
  }
};

class OsErrorCategory final : public boost::system::error_category {
 public:
  const char* name() const noexcept override { return "orvix.os"; }
  std::string message(int value) const override { return platform::os_error_from_code(value).text; }
};

}  // namespace

const boost::system::error_category& socket_stream_category() {
  static const SocketStreamCategory category;
  return category;
}

boost::system::error_code make_error_code(SocketStreamError error) {
  return {static_cast<int>(error), socket_stream_category()};
}

const boost::system::error_category& os_error_category() {
  static const OsErrorCategory category;
  return category;
}

SocketStream::SocketStream(executor_type executor, platform::TcpSocket socket, std::chrono::milliseconds io_timeout)
    : executor_(executor), socket_(std::move(socket)), io_timeout_(io_timeout) {}

std::size_t SocketStream::receive(std::span<std::byte> buffer, boost::system::error_code& ec) {
  auto received = socket_.receive_some(buffer, io_timeout_);
  if (!received) {
    ec = received.error().timed_out ? make_error_code(SocketStreamError::receive_timed_out)
                                    : boost::system::error_code(received.error().os.code, os_error_category());
    return 0;
  }
  if (*received == 0) {
    ec = boost::asio::error::eof;
    return 0;
  }
  frame_guard_.observe(buffer.first(*received));
  if (frame_limit_enforced_ && frame_guard_.limit_exceeded()) {
    ec = make_error_code(SocketStreamError::frame_too_large);
    return 0;
  }
  ec = {};
  return *received;
}

std::size_t SocketStream::send(std::span<const std::span<const std::byte>> buffers, boost::system::error_code& ec) {
  auto sent = socket_.send_some(buffers, io_timeout_);
  if (!sent) {
    ec = sent.error().timed_out ? make_error_code(SocketStreamError::send_timed_out)
                                : boost::system::error_code(sent.error().os.code, os_error_category());
    return 0;
  }
  ec = {};
  return *sent;
}

void teardown(boost::beast::role_type, SocketStream&, boost::system::error_code& ec) { ec = {}; }

}  // namespace orvix::bridge
