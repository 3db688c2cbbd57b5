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
  if (blocks_.empty()) {
    current_ = 0;
    next_ = end_ = 0;
  } else {
    use_block(0);
  }
}

std::size_t Arena::capacity() const {
  std::size_t total = 0;
  for (const Block& block : blocks_) total += block.size;
  return total;
}

namespace {
// Alignments are powers of two; rounding up cannot wrap, as the address lies
// in a block (or is zero).
std::uintptr_t align_up(std::uintptr_t address, std::size_t alignment) {
  return (address + alignment - 1) & ~(std::uintptr_t{alignment} - 1);
}
}  // namespace

void Arena::use_block(std::size_t index) {
  current_ = index;
  next_ = reinterpret_cast<std::uintptr_t>(blocks_[index].data);
  end_ = next_ + blocks_[index].size;
}

void* Arena::do_allocate(std::size_t size, std::size_t alignment) {
  const std::uintptr_t start = align_up(next_, alignment);
  if (next_ != 0 && start <= end_ && end_ - start >= size) {
    next_ = start + size;
    return reinterpret_cast<void*>(start);
  }
  return allocate_beyond(size, alignment);
}

// The block in use is full: the next kept block with room, else a new one at
// the end, which the next messages keep using.
void* Arena::allocate_beyond(std::size_t size, std::size_t alignment) {
  for (std::size_t index = blocks_.empty() ? 0 : current_ + 1; index < blocks_.size(); ++index) {
    use_block(index);
    const std::uintptr_t start = align_up(next_, alignment);
    if (start <= end_ && end_ - start >= size) {
      next_ = start + size;
      return reinterpret_cast<void*>(start);
    }
  }
  const std::size_t grown = blocks_.empty() ? kFirstBlock : std::min(2 * blocks_.back().size, kLargestGrowth);
  const std::size_t block_size = std::max(grown, size + alignment);
  blocks_.reserve(blocks_.size() + 1);  // so that the push below cannot throw and lose the block
  blocks_.push_back(Block{static_cast<char*>(::operator new(block_size)), block_size});
  use_block(blocks_.size() - 1);
  const std::uintptr_t start = align_up(next_, alignment);
  next_ = start + size;
  return reinterpret_cast<void*>(start);
}

}  // namespace orvix::json
