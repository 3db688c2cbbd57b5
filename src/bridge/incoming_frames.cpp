#include "bridge/incoming_frames.h"

#include <algorithm>

namespace orvix::bridge {

namespace {

constexpr char kHeadEnd[] = "\r\n\r\n";
constexpr std::size_t kHeadEndSize = 4;

}  // namespace

IncomingFrames::MessageKind IncomingFrames::take_message_kind() {
  if (kinds_.empty()) return MessageKind::binary;
  const MessageKind kind = kinds_.front();
  kinds_.pop_front();
  return kind;
}

void IncomingFrames::observe(std::span<std::byte> bytes) {
  std::size_t at = 0;
  // Where the frame header being read began in this span (0 when it began in
  // an earlier one).
  std::size_t header_start = 0;
  while (at < bytes.size() && !exceeded_) {
    switch (phase_) {
      case Phase::http_head: {
        const char byte = static_cast<char>(bytes[at++]);
        if (byte == kHeadEnd[head_end_matched_]) {
          ++head_end_matched_;
        } else {
          head_end_matched_ = byte == '\r' ? 1 : 0;
        }
        if (head_end_matched_ == kHeadEndSize) phase_ = Phase::frame_header;
        break;
      }
      case Phase::frame_header: {
        if (header_size_ == 0) {
          header_start = at;
          const auto opcode = static_cast<std::uint8_t>(bytes[at]) & kOpcodeBits;
          if (opcode == kTextOpcode) {
            bytes[at] = static_cast<std::byte>((static_cast<std::uint8_t>(bytes[at]) & ~kOpcodeBits) | kBinaryOpcode);
            kinds_.push_back(MessageKind::text);
          } else if (opcode == kBinaryOpcode) {
            kinds_.push_back(MessageKind::binary);
          }
        }
        header_[header_size_++] = static_cast<std::uint8_t>(bytes[at++]);
        const auto header = decode_frame_header(std::span(header_.data(), header_size_));
        if (!header) break;
        payload_left_ = header->payload_size;
        header_size_ = 0;
        if (payload_left_ > max_frame_payload_) {
          exceeded_ = true;
          bytes_before_excess_ = header_start;
        } else if (payload_left_ > 0) {
          phase_ = Phase::frame_payload;
        }
        break;
      }
      case Phase::frame_payload: {
        const std::uint64_t available = bytes.size() - at;
        const std::uint64_t taken = std::min(available, payload_left_);
        at += static_cast<std::size_t>(taken);
        payload_left_ -= taken;
        if (payload_left_ == 0) phase_ = Phase::frame_header;
        break;
      }
    }
  }
}

}  // namespace orvix::bridge
