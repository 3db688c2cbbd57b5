// The runtime connection's reading of incoming frame headers, shown the bytes
// a peer sends in reads of random sizes.
//
// The input is a byte stream followed by 9 bytes: one picks the limit (the
// boundaries of the 7-, 16- and 64-bit length forms, and the host's 16 MiB),
// eight seed the read sizes (fuzz_check.h). Property: after each read the
// guard reports exceeded exactly when, in the bytes so far, a complete frame
// header after the HTTP head announces a payload above the limit - found
// here by walking the whole prefix at once.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bridge/incoming_frames.h"
#include "fuzz_check.h"

using orvix::fuzz::require;

namespace {

constexpr std::uint64_t kLimits[] = {0, 1, 125, 126, 65535, 65536, 16 * 1024 * 1024};

bool any_frame_over(std::string_view bytes, std::uint64_t limit) {
  const std::size_t head_end = bytes.find("\r\n\r\n");
  if (head_end == std::string_view::npos) return false;
  std::size_t at = head_end + 4;
  while (bytes.size() - at >= 2) {
    const auto second = static_cast<std::uint8_t>(bytes[at + 1]);
    const std::uint8_t length7 = second & 0x7f;
    const std::size_t extended = length7 == 126 ? 2 : length7 == 127 ? 8 : 0;
    const std::size_t header = 2 + extended + ((second & 0x80) != 0 ? 4 : 0);
    if (bytes.size() - at < header) return false;
    std::uint64_t payload = length7;
    if (extended > 0) {
      payload = 0;
      for (std::size_t i = 0; i < extended; ++i) payload = payload << 8 | static_cast<std::uint8_t>(bytes[at + 2 + i]);
    }
    if (payload > limit) return true;
    at += header;
    if (bytes.size() - at <= payload) return false;
    at += static_cast<std::size_t>(payload);
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  const std::uint64_t limit = kLimits[provider.ConsumeIntegral<std::uint8_t>() % std::size(kLimits)];
  orvix::fuzz::ChunkSizes sizes(provider.ConsumeIntegral<std::uint64_t>());
  const std::string stream = provider.ConsumeRemainingBytesAsString();
  std::string handed = stream;  // the guard rewrites text opcodes in what it is shown

  orvix::bridge::IncomingFrames guard(limit);
  std::size_t at = 0;
  for (int reads = 1; at < stream.size(); ++reads) {
    const std::size_t n = std::min(sizes.next(), stream.size() - at);
    guard.observe({reinterpret_cast<std::byte*>(handed.data() + at), n});
    at += n;
    // The walk costs a pass over the prefix: after the first reads, then at
    // powers of two and at the end, so byte-sized reads stay cheap.
    if (reads <= 8 || (reads & (reads - 1)) == 0 || at == stream.size()) {
      const bool expected = any_frame_over(std::string_view(stream).substr(0, at), limit);
      require(guard.limit_exceeded() == expected, "the guard sees an oversized header exactly when it is complete",
              guard.limit_exceeded() ? "exceeded" : "within", expected ? "exceeded" : "within");
    }
  }
  return 0;
}
