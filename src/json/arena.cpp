#include "json/arena.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace orvix::json {

Arena::~Arena() {
  for (const Block& block : blocks_) ::operator delete(block.data);
}

void Arena::reset() {
  std::size_t kept = 0;
  std::size_t count = 0;
  while (count < blocks_.size() && kept + blocks_[count].size <= kKeptBytes) kept += blocks_[count++].size;
  for (std::size_t i = count; i < blocks_.size(); ++i) ::operator delete(blocks_[i].data);
  blocks_.resize(count);
  current_ = 0;
  used_ = 0;
}

std::size_t Arena::capacity() const {
  std::size_t total = 0;
  for (const Block& block : blocks_) total += block.size;
  return total;
}

void* Arena::do_allocate(std::size_t size, std::size_t alignment) {
  for (; current_ < blocks_.size(); ++current_, used_ = 0) {
    const Block& block = blocks_[current_];
    const auto base = reinterpret_cast<std::uintptr_t>(block.data);
    const std::size_t start = ((base + used_ + alignment - 1) & ~(std::uintptr_t{alignment} - 1)) - base;
    if (start <= block.size && block.size - start >= size) {
      used_ = start + size;
      return block.data + start;
    }
  }
  // No kept block has room: a new one at the end, which the next messages keep using.
  const std::size_t grown = blocks_.empty() ? kFirstBlock : std::min(2 * blocks_.back().size, kLargestGrowth);
  const std::size_t block_size = std::max(grown, size + alignment);
  blocks_.reserve(blocks_.size() + 1);  // so that the push below cannot throw and lose the block
  blocks_.push_back(Block{static_cast<char*>(::operator new(block_size)), block_size});
  current_ = blocks_.size() - 1;
  used_ = 0;
  return do_allocate(size, alignment);
}

}  // namespace orvix::json
