#include "bridge/incoming_frames.h"

#include <algorithm>
#include <cstring>

namespace orvix::bridge {

namespace {

constexpr char kHeadEnd[] = "\r\n\r\n";
constexpr std::size_t kHeadEndSize = 4;

}  // namespace

std::size_t IncomingFrames::skip_http_head(std::span<const std::byte> bytes, std::size_t at) {
  const char* const text = reinterpret_cast<const char*>(bytes.data());
  while (at < bytes.size()) {
    if (head_end_matched_ == 0) {
      // Only a "\r" can start the empty line: the head's text in between is
      // passed over in one library search: a step per byte here cost about
      // a twentieth of all the work of a small runtime request.
      const void* cr = std::memchr(text + at, '\r', bytes.size() - at);
      if (cr == nullptr) return bytes.size();
      at = static_cast<std::size_t>(static_cast<const char*>(cr) - text) + 1;
      head_end_matched_ = 1;
      continue;
    }
    const char byte = text[at++];
    if (byte == kHeadEnd[head_end_matched_]) {
      ++head_end_matched_;
    } else {
      head_end_matched_ = byte == '\r' ? 1 : 0;
    }
    if (head_end_matched_ == kHeadEndSize) {
      phase_ = Phase::frame_header;
      return at;
    }
  }
  return at;
}

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
      case Phase::http_head: at = skip_http_head(bytes, at); break;
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
