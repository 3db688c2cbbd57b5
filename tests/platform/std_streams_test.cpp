#include "platform/std_streams.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_pipe.h"

namespace orvix::platform {
namespace {

// A sink that takes no byte at all (the reading end of a pipe): the write
// fails with the system's error at once and reports that nothing went out.
TEST(WriteStream, ASinkThatRefusesEveryByteFailsWithTheSystemsError) {
  orvix::testing::TestPipe pipe;
  std::size_t written = 99;
  auto result = write_stream(pipe.read_end(), "frame", 5, written);
  ASSERT_FALSE(result);
  EXPECT_EQ(written, 0u);
  EXPECT_NE(result.error().code, 0);
  EXPECT_TRUE(result.error().text.ends_with(" (os error " + std::to_string(result.error().code) + ")"))
      << result.error().text;
}

}  // namespace
}  // namespace orvix::platform
