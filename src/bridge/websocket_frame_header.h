// The header of a WebSocket frame (RFC 6455, section 5.2), as the socket
// stream reads it in the frames the runtime sends (incoming_frames.h) and in
// the frames the WebSocket library writes.
//
//   byte 0          0x80 FIN, 0x70 three reserved bits, 0x0f the opcode
//                   (0x1 text, 0x2 binary, 0x8 Close, 0x9 ping, 0xa pong)
//   byte 1          0x80 MASK, 0x7f the payload length or its form:
//                     0-125  the payload length itself; no length bytes follow
//                     126    bytes 2-3 hold the length, 16 bits
//                     127    bytes 2-9 hold the length, 64 bits
//                   (longer lengths in network byte order: most significant
//                   byte first)
//   next 4 bytes    the masking key, present when MASK is set: in every frame
//                   a client sends, in none that a server may send
//   then            the payload
//
// A header is therefore 2 to 14 bytes long, and its first two bytes tell how
// long it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace orvix::bridge {

inline constexpr std::size_t kMaxFrameHeaderSize = 14;
inline constexpr std::uint8_t kOpcodeBits = 0x0f;
inline constexpr std::uint8_t kTextOpcode = 0x1;
inline constexpr std::uint8_t kBinaryOpcode = 0x2;
inline constexpr std::uint8_t kCloseOpcode = 0x8;

struct FrameHeader {
  std::uint8_t opcode = 0;
  std::size_t size = 0;  // bytes of the header, masking key included
  std::uint64_t payload_size = 0;
};

// The header at the start of `bytes`, or nothing while they hold less than
// all of it. Bytes after the header are not looked at. Never fails otherwise:
// every bit pattern is some header.
inline std::optional<FrameHeader> decode_frame_header(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 2) return std::nullopt;
  const std::uint8_t length7 = bytes[1] & 0x7f;
  const std::size_t length_bytes = length7 == 126 ? 2 : length7 == 127 ? 8 : 0;
  const std::size_t size = 2 + length_bytes + ((bytes[1] & 0x80) != 0 ? 4 : 0);
  if (bytes.size() < size) return std::nullopt;
  std::uint64_t payload_size = length_bytes == 0 ? length7 : 0;
  for (std::size_t i = 0; i < length_bytes; ++i) payload_size = (payload_size << 8) | bytes[2 + i];
  return FrameHeader{static_cast<std::uint8_t>(bytes[0] & 0x0f), size, payload_size};
}

}  // namespace orvix::bridge
