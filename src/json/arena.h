// An arena for the values of one message.
//
// Allocation moves a cursor through a list of blocks; deallocation does
// nothing; reset() makes all memory free again but keeps the blocks, so a
// steady stream of messages of similar shape takes nothing from the system
// after the first ones and touches no fresh pages. (Boost 1.81's
// monotonic_resource, by contrast, keeps doubling its next block size across
// release() calls until an allocation fails.)
//
// Blocks grow by doubling from 4 KiB to at most 1 MiB; a larger request gets
// a block of its own size. reset() gives back the blocks beyond the first
// kKeptBytes, so one huge message does not pin its memory for good.
// Everything allocated is invalid after reset() or destruction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <boost/json/memory_resource.hpp>

namespace orvix::json {

class Arena final : public boost::json::memory_resource {
 public:
  static constexpr std::size_t kFirstBlock = 4096;
  static constexpr std::size_t kLargestGrowth = 1024 * 1024;
  static constexpr std::size_t kKeptBytes = 4 * 1024 * 1024;

  Arena() = default;
  ~Arena() override;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  void reset();
  // The bytes of all blocks held.
  std::size_t capacity() const;

 private:
  struct Block {
    char* data;
    std::size_t size;
  };

  void* do_allocate(std::size_t size, std::size_t alignment) override;
  void* allocate_beyond(std::size_t size, std::size_t alignment);
  void use_block(std::size_t index);
  void do_deallocate(void*, std::size_t, std::size_t) override {}
  bool do_is_equal(const boost::json::memory_resource& other) const noexcept override { return this == &other; }

  std::vector<Block> blocks_;
  std::size_t current_ = 0;  // the block in use
  // Its free bytes, [next_, end_): an allocation that fits is a bump of
  // next_ (both zero while there is no block).
  std::uintptr_t next_ = 0;
  std::uintptr_t end_ = 0;
};

}  // namespace orvix::json

// Values in an arena need not free their parts one by one.
template <>
struct boost::json::is_deallocate_trivial<orvix::json::Arena> {
  static constexpr bool value = true;
};
