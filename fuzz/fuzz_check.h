// What the fuzz targets share: a property check that stops the run, and
// chunk sizes drawn from the fuzz input.
//
// A failed check prints what broke and the values involved, then aborts, so
// libFuzzer records the input as a crash and a re-run reproduces it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace orvix::fuzz {

[[noreturn]] inline void fail(std::string_view property, std::string_view left = {}, std::string_view right = {}) {
  std::fprintf(stderr, "property broken: %.*s\n  left:  %.*s\n  right: %.*s\n", static_cast<int>(property.size()),
               property.data(), static_cast<int>(left.size()), left.data(), static_cast<int>(right.size()),
               right.data());
  std::abort();
}

inline void require(bool holds, std::string_view property, std::string_view left = {}, std::string_view right = {}) {
  if (!holds) fail(property, left, right);
}

// Sizes for splitting a byte stream into reads, from a seed the fuzz input
// supplies: mostly small (1 to 16 bytes, where boundaries fall inside length
// prefixes and frame headers), sometimes up to 16 KiB (whole buffers and
// more). A deterministic generator (splitmix64), so a saved input replays.
class ChunkSizes {
 public:
  explicit ChunkSizes(std::uint64_t seed) : state_(seed) {}

  std::size_t next() {
    const std::uint64_t r = mix();
    const unsigned scale = (r & 3) == 0 ? 14 : 4;  // a quarter large, the rest small
    return 1 + static_cast<std::size_t>((r >> 8) % (std::uint64_t{1} << scale));
  }

 private:
  std::uint64_t mix() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }

  std::uint64_t state_;
};

}  // namespace orvix::fuzz
