// The byte transport under the WebSocket client: a synchronous stream over a
// platform TcpSocket in which no single read or write waits longer than the
// I/O timeout it was built with, and no step of the exchange outlasts the
// step deadline it was last given.
//
// Asio's own synchronous socket calls fall back to an unbounded wait when the
// system's receive timeout fires, so the limits are kept here instead: every
// read_some/write_some waits at most `io_timeout` for the socket to be ready
// and then fails with SocketStreamError::receive_timed_out / send_timed_out.
// A runtime that keeps a step alive with a byte now and then, or with pings,
// meets no I/O timeout; the step deadline (set_step_deadline) bounds the step
// as a whole: a read or write that would wait past it fails with
// step_timed_out instead.
// Other failures are system errors (os_error_category(), texts as in
// platform/os_error.h); an orderly shutdown by the peer is asio's eof.
//
// Reads take what the socket holds, up to kReceiveBufferSize, in one receive
// and hand it out from there: the WebSocket library asks for a frame's
// header and its payload in separate reads of at most 1,536 bytes, so a
// large answer sent as many small frames would otherwise cost two system
// calls a frame. A read asking for at least that much goes straight into
// the caller's buffer.
//
// Once enforce_frame_limit() is called, a received WebSocket frame announcing
// more than kMaxFramePayload bytes fails the read with frame_too_large; the
// bytes received ahead of its header are handed on first.
//
// Once drop_close_frames() is called, a Close frame that the WebSocket library
// writes is reported as written but never sent: the exchange ends by closing
// the socket, never with a closing handshake, whereas the library sends a
// Close when it fails the connection (a protocol fault, a message too big)
// and when it answers the peer's own Close. Each frame must start a write
// call with its whole header; when one does not, nothing more is dropped.
//
// It meets the SyncReadStream/SyncWriteStream requirements. The executor is
// there only because the WebSocket stream asks its lower layer for one; no
// operation of this type ever runs on it. The stream owns the socket and
// closes it when destroyed. Only src/bridge includes this header.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <memory>
#include <span>

#include <boost/asio/buffer.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/beast/core/role.hpp>
#include <boost/system/error_code.hpp>
#include <boost/system/system_error.hpp>

#include "bridge/incoming_frames.h"
#include "platform/tcp_socket.h"

namespace orvix::bridge {

inline constexpr std::uint64_t kMaxFramePayload = 16u * 1024u * 1024u;
inline constexpr std::size_t kReceiveBufferSize = 64u * 1024u;

enum class SocketStreamError {
  receive_timed_out = 1,
  send_timed_out,
  frame_too_large,
  step_timed_out,
};

const boost::system::error_category& socket_stream_category();
boost::system::error_code make_error_code(SocketStreamError error);

// System error codes whose message is the platform's text for them.
const boost::system::error_category& os_error_category();

class SocketStream {
 public:
  using executor_type = boost::asio::io_context::executor_type;

  SocketStream(executor_type executor, platform::TcpSocket socket, std::chrono::milliseconds io_timeout);

  executor_type get_executor() const noexcept { return executor_; }

  void enforce_frame_limit() { frame_limit_enforced_ = true; }

  // Reads and writes from now until `deadline` are one step: none of them
  // waits past it. No deadline until the first call.
  void set_step_deadline(std::chrono::steady_clock::time_point deadline) { step_deadline_ = deadline; }

  // Whether the oldest message not yet asked about was a text message: the
  // library sees every text message as binary (incoming_frames.h). Call once
  // after each message the library has read whole.
  bool message_was_text() { return incoming_.take_message_kind() == IncomingFrames::MessageKind::text; }

  // Call between frames, once no further data message will be written.
  void drop_close_frames() { dropping_close_frames_ = true; }

  template <class MutableBufferSequence>
  std::size_t read_some(const MutableBufferSequence& buffers, boost::system::error_code& ec) {
    // Filling the first non-empty buffer is enough for a read_some.
    for (auto it = boost::asio::buffer_sequence_begin(buffers); it != boost::asio::buffer_sequence_end(buffers); ++it) {
      const boost::asio::mutable_buffer buffer(*it);
      if (buffer.size() != 0) return receive({static_cast<std::byte*>(buffer.data()), buffer.size()}, ec);
    }
    ec = {};
    return 0;
  }

  template <class ConstBufferSequence>
  std::size_t write_some(const ConstBufferSequence& buffers, boost::system::error_code& ec) {
    // One gathered send per call: a frame header and its payload, or the
    // pieces of the handshake request, leave in one segment rather than
    // one small write each.
    std::array<std::span<const std::byte>, kMaxGather> pieces;
    std::size_t count = 0;
    for (auto it = boost::asio::buffer_sequence_begin(buffers);
         it != boost::asio::buffer_sequence_end(buffers) && count < kMaxGather; ++it) {
      const boost::asio::const_buffer buffer(*it);
      if (buffer.size() != 0) pieces[count++] = {static_cast<const std::byte*>(buffer.data()), buffer.size()};
    }
    return send(std::span(pieces.data(), count), ec);
  }

  // The throwing forms complete the stream requirements; the bridge only
  // calls the error_code forms.
  template <class MutableBufferSequence>
  std::size_t read_some(const MutableBufferSequence& buffers) {
    boost::system::error_code ec;
    const std::size_t size = read_some(buffers, ec);
    if (ec) throw boost::system::system_error(ec);
    return size;
  }

  template <class ConstBufferSequence>
  std::size_t write_some(const ConstBufferSequence& buffers) {
    boost::system::error_code ec;
    const std::size_t size = write_some(buffers, ec);
    if (ec) throw boost::system::system_error(ec);
    return size;
  }

 private:
  static constexpr std::size_t kMaxGather = 16;

  // One socket call, `transfer(wait)`, allowed to wait the I/O timeout or
  // less when the step deadline comes first: the bytes it moved, or 0 with
  // `ec` set (`io_error` when the I/O timeout is what passed).
  template <class Transfer>
  std::size_t within_limits(Transfer transfer, SocketStreamError io_error, boost::system::error_code& ec);

  std::size_t receive(std::span<std::byte> buffer, boost::system::error_code& ec);
  // One receive from the socket into `buffer`, within the limits.
  std::size_t receive_from_socket(std::span<std::byte> buffer, boost::system::error_code& ec);
  std::size_t send(std::span<const std::span<const std::byte>> buffers, boost::system::error_code& ec);

  executor_type executor_;
  platform::TcpSocket socket_;
  std::chrono::milliseconds io_timeout_;
  std::chrono::steady_clock::time_point step_deadline_ = std::chrono::steady_clock::time_point::max();
  // Received and not yet handed out: [received_begin_, received_end_).
  std::unique_ptr<std::byte[]> received_;
  std::size_t received_begin_ = 0;
  std::size_t received_end_ = 0;
  IncomingFrames incoming_{kMaxFramePayload};
  bool frame_limit_enforced_ = false;
  bool dropping_close_frames_ = false;
  std::uint64_t outgoing_frame_left_ = 0;  // bytes of the frame being written
  bool dropping_outgoing_frame_ = false;
};

// Called by the WebSocket stream when it gives up the connection (after a
// Close frame or a protocol failure). The socket is left as it is: the
// exchange closes it as soon as the failure reaches it.
void teardown(boost::beast::role_type role, SocketStream& stream, boost::system::error_code& ec);

}  // namespace orvix::bridge

template <>
struct boost::system::is_error_code_enum<orvix::bridge::SocketStreamError> : std::true_type {};
