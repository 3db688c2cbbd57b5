// Watching the bytes a WebSocket peer sends for frames over a size limit.
//
// The WebSocket library bounds whole messages but not single frames, so the
// transport shows every received byte to this guard in order. It skips the
// HTTP head of the handshake answer (up to the first empty line), then reads
// each frame header (websocket_frame_header.h) and notes when a frame
// announces a payload longer than the limit. It notes this from the header
// alone, before any payload arrives.
// Costs a few steps per frame; never allocates. Not thread-safe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "bridge/websocket_frame_header.h"

namespace orvix::bridge {

class FrameSizeGuard {
 public:
  explicit FrameSizeGuard(std::uint64_t max_frame_payload) : max_frame_payload_(max_frame_payload) {}

  // The next bytes received from the peer, in the order they arrived.
  void observe(std::span<const std::byte> bytes);

  // True once some frame announced a payload above the limit; stays true.
  bool limit_exceeded() const { return exceeded_; }

  // Once the limit is exceeded: how many bytes of the span given to the
  // observe() call that noted it came before the oversized frame's header.
  // Those bytes still belong to earlier frames and may complete a message.
  std::size_t bytes_before_excess() const { return bytes_before_excess_; }

 private:
  enum class Phase { http_head, frame_header, frame_payload };

  std::uint64_t max_frame_payload_;
  Phase phase_ = Phase::http_head;
  std::size_t head_end_matched_ = 0;                        // bytes of "\r\n\r\n" seen so far
  std::array<std::uint8_t, kMaxFrameHeaderSize> header_{};  // the frame header read so far
  std::size_t header_size_ = 0;
  std::uint64_t payload_left_ = 0;
  bool exceeded_ = false;
  std::size_t bytes_before_excess_ = 0;
};

}  // namespace orvix::bridge
