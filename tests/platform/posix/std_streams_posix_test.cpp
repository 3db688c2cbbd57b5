#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <thread>

#include "platform/std_streams.h"

namespace orvix::platform {
namespace {

// The browser may go away in the middle of a reply: the write fails with the
// system's error and `written` says how far it got.
TEST(PosixWriteStream, AReaderThatLeavesMidwayLeavesTheCountOfBytesThatWentOut) {
  // The host ignores SIGPIPE from its start (guard_standard_streams); so does this test.
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  constexpr std::size_t kTaken = 4096;
  std::thread reader([&] {
    std::string taken(kTaken, '\0');
    std::size_t got = 0;
    while (got < kTaken) {
      const ssize_t n = ::read(ends[0], taken.data() + got, kTaken - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    ::close(ends[0]);
  });
  const std::string reply(1 << 20, 'x');  // far more than a pipe holds
  std::size_t written = 0;
  auto result = write_stream(ends[1], reply.data(), reply.size(), written);
  reader.join();
  ::close(ends[1]);
  std::signal(SIGPIPE, previous);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().code, EPIPE);
  EXPECT_GE(written, kTaken);
  EXPECT_LT(written, reply.size());
}

}  // namespace
}  // namespace orvix::platform
