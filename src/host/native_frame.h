// The native-message frame, the same in both directions:
//
//   offset 0, 4 bytes: body length, unsigned 32-bit little-endian; the length
//                      field itself is not counted
//   offset 4, length bytes: the body, one JSON value as UTF-8 text
//
// A body holds at most kMaxBodySize bytes in either direction (exactly
// 1,048,576 is accepted, one more is refused). A body of 0 bytes is allowed by
// the frame and fails as JSON.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvix::host {

inline constexpr std::size_t kLengthSize = 4;
inline constexpr std::size_t kMaxBodySize = 1024 * 1024;
inline constexpr std::size_t kStreamBufferSize = 8192;

inline std::uint32_t decode_length(const unsigned char bytes[kLengthSize]) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

inline void encode_length(std::uint32_t length, unsigned char bytes[kLengthSize]) {
  bytes[0] = static_cast<unsigned char>(length);
  bytes[1] = static_cast<unsigned char>(length >> 8);
  bytes[2] = static_cast<unsigned char>(length >> 16);
  bytes[3] = static_cast<unsigned char>(length >> 24);
}

}  // namespace orvix::host
