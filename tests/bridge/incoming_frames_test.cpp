#include "bridge/incoming_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace orvix::bridge {
namespace {

constexpr std::string_view kHead = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n\r\n";

// The bytes as the library gets them, fed in chunks of `chunk` bytes.
std::string feed(IncomingFrames& guard, std::string_view bytes, std::size_t chunk = 1000) {
  std::string handed(bytes);
  for (std::size_t at = 0; at < handed.size(); at += chunk) {
    guard.observe({reinterpret_cast<std::byte*>(handed.data() + at), std::min(chunk, handed.size() - at)});
  }
  return handed;
}

std::string frame(std::string_view payload) {
  return std::string("\x81") + char(payload.size()) + std::string(payload);
}

TEST(IncomingFrames, FramesWithinTheLimitPassWhateverTheChunking) {
  const std::string stream = std::string(kHead) + frame("hello") + std::string("\x89\x00", 2) +
                             std::string("\x82\x7e\x00\x0a", 4) + "0123456789" + frame("end");
  for (std::size_t chunk : {1, 2, 3, 7, 64}) {
    IncomingFrames guard(10);
    feed(guard, stream, chunk);
    EXPECT_FALSE(guard.limit_exceeded()) << chunk;
  }
}

TEST(IncomingFrames, NotesAnOversizedFrameFromItsHeaderAlone) {
  // 16-bit length 11, split from its header over two calls.
  IncomingFrames sixteen(10);
  feed(sixteen, std::string(kHead) + frame("abc") + std::string("\x81\x7e\x00", 3));
  EXPECT_FALSE(sixteen.limit_exceeded());
  feed(sixteen, std::string("\x0b", 1));
  EXPECT_TRUE(sixteen.limit_exceeded());
  EXPECT_EQ(sixteen.bytes_before_excess(), 0u);  // its header began in an earlier call

  // Whole frames ahead of the oversized one in the same call are counted out,
  // so the stream can still deliver them.
  IncomingFrames ahead(10);
  const std::string first = frame("answer");
  feed(ahead, std::string(kHead) + first + std::string("\x82\x7e\x00\x0b", 4) + "rest");
  EXPECT_TRUE(ahead.limit_exceeded());
  EXPECT_EQ(ahead.bytes_before_excess(), kHead.size() + first.size());

  // 64-bit length, masked (four key bytes follow the length).
  IncomingFrames sixty_four(1u << 24);
  feed(sixty_four, std::string(kHead) + std::string("\x81\xff\x00\x00\x00\x00\x01\x00\x00\x01", 10) + "keys");
  EXPECT_TRUE(sixty_four.limit_exceeded());
}

TEST(IncomingFrames, TextMessagesAreHandedOnAsBinaryAndTheirKindsKeptInOrder) {
  using Kind = IncomingFrames::MessageKind;
  // A text message in two frames with a ping between them, a binary message,
  // and a one-frame text message with the final bit and a reserved bit set.
  const std::string frames = std::string("\x01\x02{\"", 4) + std::string("\x89\x00", 2) + std::string("\x80\x01}", 3) +
                             std::string("\x82\x01", 2) + "b" + std::string("\xc1\x02{}", 4);
  const std::string expected = std::string("\x02\x02{\"", 4) + std::string("\x89\x00", 2) +
                               std::string("\x80\x01}", 3) + std::string("\x82\x01", 2) + "b" +
                               std::string("\xc2\x02{}", 4);
  for (std::size_t chunk : {1, 2, 5, 64}) {
    IncomingFrames incoming(10);
    // The head's bytes are never rewritten, whatever they hold.
    const std::string head = "HTTP/1.1 101 \x81\r\n\r\n";
    EXPECT_EQ(feed(incoming, head + frames, chunk), head + expected) << chunk;
    EXPECT_EQ(incoming.take_message_kind(), Kind::text) << chunk;
    EXPECT_EQ(incoming.take_message_kind(), Kind::binary) << chunk;
    EXPECT_EQ(incoming.take_message_kind(), Kind::text) << chunk;
  }
}

TEST(IncomingFrames, LooksForFramesOnlyAfterTheHttpHead) {
  // Header lines full of bytes that would read as huge frames, and runs of
  // "\r" and "\n" that fall short of the empty line, its last one ending in
  // "\r\n\r\r\n\r\n". Split at every size, so that each partial match meets a
  // call's end.
  const std::string head = "HTTP/1.1 101 \x81\x7f\xff\r\nX: \r\r\n\x81\x7f\r\n\r\x81\r\n\r\r\n\r\n";
  const std::string oversized = frame("0123456789x");
  for (std::size_t chunk = 1; chunk <= head.size() + oversized.size(); ++chunk) {
    IncomingFrames within(10);
    feed(within, head + frame("0123456789"), chunk);
    EXPECT_FALSE(within.limit_exceeded()) << chunk;

    IncomingFrames over(10);
    feed(over, head, chunk);
    EXPECT_FALSE(over.limit_exceeded()) << chunk;
    feed(over, oversized, chunk);
    EXPECT_TRUE(over.limit_exceeded()) << chunk;
  }
  IncomingFrames whole(10);
  feed(whole, head + oversized);
  EXPECT_EQ(whole.bytes_before_excess(), head.size());
}

}  // namespace
}  // namespace orvix::bridge
