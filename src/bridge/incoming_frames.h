// Reading the frame headers in what a WebSocket peer sends, ahead of the
// WebSocket library, for two things it does not do:
//   - Frames over a size limit. The library bounds whole messages but not
//     single frames; a frame that announces a payload longer than the limit
//     is noted from its header alone, before any payload arrives.
//   - Text messages handed on as binary ones. The library checks the UTF-8 of
//     every text message byte by byte, a pass that cost more than all the
//     JSON work of a page-sized answer; the JSON reader checks the same text
//     anyway, in its own pass. So the first frame of each text message has
//     its opcode rewritten to binary in place, and the kind of each data
//     message is kept, in order, for take_message_kind().
// The transport shows every received byte to it in order, as it hands them
// on. The HTTP head of the handshake answer (up to the first empty line) is
// skipped. Costs a few steps per frame. Not thread-safe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>

#include "bridge/websocket_frame_header.h"

namespace orvix::bridge {

class IncomingFrames {
 public:
  explicit IncomingFrames(std::uint64_t max_frame_payload) : max_frame_payload_(max_frame_payload) {}

  enum class MessageKind { text, binary };

  // The next bytes received from the peer, in the order they arrived; the
  // opcode of a text message's first frame among them is rewritten.
  void observe(std::span<std::byte> bytes);

  // The kind of the oldest data message whose first frame was observed and
  // not yet taken: call once for each message the library reads whole.
  MessageKind take_message_kind();

  // True once some frame announced a payload above the limit; stays true.
  bool limit_exceeded() const { return exceeded_; }

  // Once the limit is exceeded: how many bytes of the span given to the
  // observe() call that noted it came before the oversized frame's header.
  // Those bytes still belong to earlier frames and may complete a message.
  std::size_t bytes_before_excess() const { return bytes_before_excess_; }

 private:
  enum class Phase { http_head, frame_header, frame_payload };

  // Passes over the HTTP head from `at`, keeping how much of its closing
  // "\r\n\r\n" has been seen across calls; returns where the frames begin, or
  // the span's end while the head goes on.
  std::size_t skip_http_head(std::span<const std::byte> bytes, std::size_t at);

  std::uint64_t max_frame_payload_;
  Phase phase_ = Phase::http_head;
  std::size_t head_end_matched_ = 0;                        // bytes of "\r\n\r\n" seen so far
  std::array<std::uint8_t, kMaxFrameHeaderSize> header_{};  // the frame header read so far
  std::size_t header_size_ = 0;
  std::uint64_t payload_left_ = 0;
  bool exceeded_ = false;
  // Kinds of the data messages observed and not yet taken, oldest first. The
  // library reads at most a few frames ahead of the message it returns.
  std::deque<MessageKind> kinds_;
  std::size_t bytes_before_excess_ = 0;
};

}  // namespace orvix::bridge
