#include "bridge/socket_stream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>

#include <boost/asio/error.hpp>

#include "bridge/websocket_frame_header.h"

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
      case SocketStreamError::step_timed_out: return "the runtime did not complete this step within its time limit";
    }
    return "socket stream error";
  }
};

class OsErrorCategory final : public boost::system::error_category {
 public:
  const char* name() const noexcept override { return "orvix.os"; }
  std::string message(int value) const override { return platform::os_error_from_code(value).text; }
};

// The header of the frame that starts the bytes about to be written, or
// nothing when they hold less than all of it.
std::optional<FrameHeader> outgoing_frame_header(std::span<const std::span<const std::byte>> buffers) {
  std::array<std::uint8_t, kMaxFrameHeaderSize> header{};
  std::size_t have = 0;
  for (const auto& buffer : buffers) {
    for (std::size_t i = 0; i < buffer.size() && have < header.size(); ++i) {
      header[have++] = static_cast<std::uint8_t>(buffer[i]);
    }
  }
  return decode_frame_header(std::span(header.data(), have));
}

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

template <class Transfer>
std::size_t SocketStream::within_limits(Transfer transfer, SocketStreamError io_error, boost::system::error_code& ec) {
  const auto left = step_deadline_ - std::chrono::steady_clock::now();
  const auto wait = left >= io_timeout_ ? io_timeout_ : std::chrono::ceil<std::chrono::milliseconds>(left);
  if (wait.count() <= 0) {
    ec = make_error_code(SocketStreamError::step_timed_out);
    return 0;
  }
  auto moved = transfer(wait);
  if (!moved) {
    ec = moved.error().timed_out ? make_error_code(wait < io_timeout_ ? SocketStreamError::step_timed_out : io_error)
                                 : boost::system::error_code(moved.error().os.code, os_error_category());
    return 0;
  }
  ec = {};
  return *moved;
}

std::size_t SocketStream::receive_from_socket(std::span<std::byte> buffer, boost::system::error_code& ec) {
  const std::size_t received =
      within_limits([&](std::chrono::milliseconds wait) { return socket_.receive_some(buffer, wait); },
                    SocketStreamError::receive_timed_out, ec);
  if (!ec && received == 0) ec = boost::asio::error::eof;
  return received;
}

std::size_t SocketStream::receive(std::span<std::byte> buffer, boost::system::error_code& ec) {
  if (frame_limit_enforced_ && incoming_.limit_exceeded()) {
    ec = make_error_code(SocketStreamError::frame_too_large);
    return 0;
  }
  std::span<std::byte> arrived;
  if (received_begin_ < received_end_) {
    arrived = std::span(received_.get() + received_begin_, std::min(buffer.size(), received_end_ - received_begin_));
  } else if (buffer.size() >= kReceiveBufferSize) {
    arrived = buffer.first(receive_from_socket(buffer, ec));
    if (ec) return 0;
  } else {
    // Not zeroed: every byte handed out was received first.
    if (!received_) received_.reset(new std::byte[kReceiveBufferSize]);
    received_begin_ = 0;
    received_end_ = receive_from_socket({received_.get(), kReceiveBufferSize}, ec);
    if (ec) return 0;
    arrived = std::span(received_.get(), std::min(buffer.size(), received_end_));
  }

  const bool exceeded_before = incoming_.limit_exceeded();
  incoming_.observe(arrived);
  std::size_t handed = arrived.size();
  if (frame_limit_enforced_ && incoming_.limit_exceeded()) {
    // Frames that arrived ahead of the oversized one are handed on first: the
    // answer may be among them. The next receive reports the oversized frame.
    handed = exceeded_before ? 0 : incoming_.bytes_before_excess();
    if (handed == 0) {
      ec = make_error_code(SocketStreamError::frame_too_large);
      return 0;
    }
  }
  if (arrived.data() != buffer.data()) {
    std::memcpy(buffer.data(), arrived.data(), handed);
    received_begin_ += handed;
  }
  ec = {};
  return handed;
}

std::size_t SocketStream::send(std::span<const std::span<const std::byte>> buffers, boost::system::error_code& ec) {
  if (dropping_close_frames_ && outgoing_frame_left_ == 0) {
    const auto header = outgoing_frame_header(buffers);
    if (!header) {
      // Frame boundaries can no longer be told apart: send everything.
      dropping_close_frames_ = false;
    } else {
      outgoing_frame_left_ = header->size + header->payload_size;
      dropping_outgoing_frame_ = header->opcode == kCloseOpcode;
    }
  }
  if (dropping_close_frames_ && dropping_outgoing_frame_) {
    std::uint64_t offered = 0;
    for (const auto& buffer : buffers) offered += buffer.size();
    const std::uint64_t dropped = std::min(offered, outgoing_frame_left_);
    outgoing_frame_left_ -= dropped;
    ec = {};
    return static_cast<std::size_t>(dropped);
  }

  const std::size_t sent =
      within_limits([&](std::chrono::milliseconds wait) { return socket_.send_some(buffers, wait); },
                    SocketStreamError::send_timed_out, ec);
  if (dropping_close_frames_) outgoing_frame_left_ -= std::min<std::uint64_t>(outgoing_frame_left_, sent);
  return sent;
}

void teardown(boost::beast::role_type, SocketStream&, boost::system::error_code& ec) { ec = {}; }

}  // namespace orvix::bridge
