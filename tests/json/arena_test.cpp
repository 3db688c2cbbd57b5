// The arena keeps its blocks between messages, so a repeated message shape
// takes no more memory from the system, and it hands out aligned, disjoint
// memory however the sizes mix.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "json/arena.h"
#include "json/parse.h"

namespace orvix::json {
namespace {

TEST(Arena, RepeatedMessagesReuseTheBlocks) {
  Arena arena;
  const std::string big = "[\"" + std::string(600000, 'x') + "\",1,2.5,{\"a\":null}]";
  std::size_t after_first = 0;
  for (int round = 0; round < 5; ++round) {
    arena.reset();
    auto value = parse_json(big, boost::json::storage_ptr(&arena));
    ASSERT_TRUE(value);
    ASSERT_EQ(value->as_array()[0].as_string().size(), 600000u);
    if (round == 0) after_first = arena.capacity();
    EXPECT_EQ(arena.capacity(), after_first) << "round " << round;
  }
}

TEST(Arena, AlignedDisjointAllocationsOfMixedSizes) {
  Arena arena;
  std::vector<std::pair<char*, std::size_t>> taken;
  const std::size_t sizes[] = {1, 3, 0, 16, 4096, 7, 2 * 1024 * 1024, 24, 4000, 1000000, 5};
  for (int round = 0; round < 2; ++round) {
    arena.reset();
    taken.clear();
    for (std::size_t size : sizes) {
      for (std::size_t alignment : {1, 8, 16, 64}) {
        auto* p = static_cast<char*>(arena.allocate(size, alignment));
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(p) % alignment, 0u);
        std::memset(p, 0xA5, size);
        taken.emplace_back(p, size);
      }
    }
    for (std::size_t i = 0; i < taken.size(); ++i) {
      for (std::size_t j = i + 1; j < taken.size(); ++j) {
        const bool apart =
            taken[i].first + taken[i].second <= taken[j].first || taken[j].first + taken[j].second <= taken[i].first;
        ASSERT_TRUE(apart) << i << " overlaps " << j;
      }
    }
  }
}

TEST(Arena, ResetGivesBackWhatIsBeyondTheKeptShare) {
  Arena arena;
  for (int i = 0; i < 6; ++i) (void)arena.allocate(Arena::kLargestGrowth, 1);
  EXPECT_GT(arena.capacity(), Arena::kKeptBytes);
  arena.reset();
  EXPECT_LE(arena.capacity(), Arena::kKeptBytes);
  EXPECT_GT(arena.capacity(), 0u);
}

}  // namespace
}  // namespace orvix::json
