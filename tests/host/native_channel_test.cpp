#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <variant>
#include <vector>

#include "host/native_channel.h"
#include "host/standard_streams.h"
#include "json/serialize.h"
#include "support/test_pipe.h"

namespace orvix::host {
namespace {

std::string frame(std::string_view body) {
  std::string bytes(4, '\0');
  const auto n = static_cast<std::uint32_t>(body.size());
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(n >> (8 * i));
  return bytes.append(body);
}

// A real pipe whose write end the test fills before the channel reads.
using Pipe = orvix::testing::TestPipe;

// Counts the reads that reach the pipe.
class CountingSource final : public ByteSource {
 public:
  explicit CountingSource(platform::StreamHandle handle) : inner_(handle) {}
  Result<std::size_t, platform::OsError> read_some(char* buffer, std::size_t size) override {
    ++reads;
    return inner_.read_some(buffer, size);
  }
  int reads = 0;

 private:
  StreamSource inner_;
};

// Serves scripted chunks, then a read error.
class FailingSource final : public ByteSource {
 public:
  explicit FailingSource(std::vector<std::string> chunks) : chunks_(std::move(chunks)) {}
  Result<std::size_t, platform::OsError> read_some(char* buffer, std::size_t size) override {
    if (next_ == chunks_.size()) return platform::OsError(5, "Input/output error (os error 5)");
    const std::string& chunk = chunks_[next_++];
    EXPECT_LE(chunk.size(), size);
    std::memcpy(buffer, chunk.data(), chunk.size());
    return chunk.size();
  }

 private:
  std::vector<std::string> chunks_;
  std::size_t next_ = 0;
};

// The same bytes `count` times over, then the end of input.
class Repeating final : public ByteSource {
 public:
  Repeating(std::string bytes, int count) : bytes_(std::move(bytes)), left_(count) {}
  Result<std::size_t, platform::OsError> read_some(char* buffer, std::size_t size) override {
    if (pos_ == bytes_.size()) {
      if (left_ == 0) return std::size_t{0};
      pos_ = 0;
    }
    if (pos_ == 0) --left_;
    const std::size_t n = std::min(size, bytes_.size() - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  std::string bytes_;
  int left_;
  std::size_t pos_ = 0;
};

class MemorySink final : public ByteSink {
 public:
  Result<void, platform::OsError> write_all(const char* data, std::size_t size, std::size_t& written) override {
    ++writes;
    bytes.append(data, size);
    written = size;
    return {};
  }
  Result<void, platform::OsError> flush() override { return {}; }
  std::string bytes;
  int writes = 0;
};

// Takes `capacity` bytes, then fails every write; what it took is kept.
class FailingSink final : public ByteSink {
 public:
  explicit FailingSink(std::size_t capacity) : capacity_(capacity) {}
  Result<void, platform::OsError> write_all(const char* data, std::size_t size, std::size_t& written) override {
    written = std::min(size, capacity_ - bytes.size());
    bytes.append(data, written);
    if (written < size) return platform::OsError(32, "Broken pipe (os error 32)");
    return {};
  }
  Result<void, platform::OsError> flush() override { return {}; }
  void widen(std::size_t capacity) { capacity_ = capacity; }
  std::string bytes;

 private:
  std::size_t capacity_;
};

std::string text_of(const ReadOutcome& outcome) {
  if (std::holds_alternative<EndOfInput>(outcome)) return "end";
  if (auto* error = std::get_if<Failure>(&outcome)) return "error: " + error->text;
  return json::to_compact_string(std::get<json::Value>(outcome));
}

TEST(NativeChannel, TwoFramesFromOneReadTakeNoSecondRead) {
  Pipe pipe;
  pipe.write(frame("{\"a\":1}") + frame("[2]"));
  pipe.close_write();
  CountingSource source(pipe.read_end());
  MemorySink sink;
  NativeChannel channel(source, sink);
  EXPECT_EQ(text_of(channel.read_native_message()), "{\"a\":1}");
  EXPECT_EQ(text_of(channel.read_native_message()), "[2]");
  EXPECT_EQ(source.reads, 1);
  EXPECT_EQ(text_of(channel.read_native_message()), "end");
}

// A body the buffer holds whole is parsed where it lies, one that straddles
// reads is gathered first: wherever the reads cut the frames, the values are
// the same, escapes and non-ASCII text included.
TEST(NativeChannel, FramesCutAnywhereByTheReadsGiveTheSameValues) {
  const std::string bodies[] = {R"({"id":7,"method":"hello"})", R"({"a\n\u00e9":["x\"y",-1.5,true,null]})",
                                "\"\xC3\xA9t\xC3\xA9\""};
  std::string bytes;
  for (const std::string& body : bodies) bytes += frame(body);
  for (std::size_t cut = 1; cut <= bytes.size(); ++cut) {
    std::vector<std::string> chunks;
    for (std::size_t at = 0; at < bytes.size(); at += cut) chunks.push_back(bytes.substr(at, cut));
    FailingSource source(std::move(chunks));
    MemorySink sink;
    NativeChannel channel(source, sink);
    EXPECT_EQ(text_of(channel.read_native_message()), R"({"id":7,"method":"hello"})") << cut;
    EXPECT_EQ(text_of(channel.read_native_message()), R"({"a\n)"
                                                      "\xC3\xA9"
                                                      R"(":["x\"y",-1.5,true,null]})")
        << cut;
    EXPECT_EQ(text_of(channel.read_native_message()), "\"\xC3\xA9t\xC3\xA9\"") << cut;
  }
}

TEST(NativeChannel, BodyLargerThanTheBufferArrivesWhole) {
  Pipe pipe;
  const std::string body = "\"" + std::string(20000, 'x') + "\"";
  std::string bytes = frame(body) + frame("null");
  CountingSource source(pipe.read_end());
  MemorySink sink;
  NativeChannel channel(source, sink);
  // The body is read straight into its own buffer, past the 8 KiB one.
  pipe.write(bytes);
  pipe.close_write();
  EXPECT_EQ(text_of(channel.read_native_message()), body);
  EXPECT_EQ(text_of(channel.read_native_message()), "null");
}

TEST(NativeChannel, InputEndingInsideTheLengthIsACleanEnd) {
  for (std::size_t n = 0; n < 4; ++n) {
    Pipe pipe;
    pipe.write(std::string(n, '\x01'));
    pipe.close_write();
    StreamSource source(pipe.read_end());
    MemorySink sink;
    NativeChannel channel(source, sink);
    EXPECT_EQ(text_of(channel.read_native_message()), "end") << n;
  }
}

TEST(NativeChannel, ReadErrorsCarryTheSystemText) {
  MemorySink sink;
  FailingSource in_length({std::string("\x05\x00", 2)});
  NativeChannel first(in_length, sink);
  EXPECT_EQ(text_of(first.read_native_message()), "error: Input/output error (os error 5)");

  FailingSource in_body({frame("[1,2]").substr(0, 6)});
  NativeChannel second(in_body, sink);
  EXPECT_EQ(text_of(second.read_native_message()), "error: Input/output error (os error 5)");
}

TEST(NativeChannel, ReplyIsFramedAndWrittenOnce) {
  Pipe unused;
  StreamSource source(unused.read_end());
  MemorySink sink;
  NativeChannel channel(source, sink);
  json::Object reply;
  reply["type"] = "response";
  reply["id"] = 1;
  reply["method"] = "x";
  ASSERT_TRUE(channel.write_native_message(reply));
  EXPECT_EQ(sink.bytes, frame(R"({"id":1,"method":"x","type":"response"})"));
  EXPECT_EQ(sink.writes, 1);
}

// A failed write reports the system's text; release_output() then offers
// once more exactly the bytes that did not go out.
TEST(NativeChannel, WriteFailureKeepsWhatDidNotGoOut) {
  Pipe unused;
  StreamSource source(unused.read_end());
  FailingSink sink(6);
  NativeChannel channel(source, sink);
  auto written = channel.write_native_message(json::Value("abcdef"));
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().kind, Failure::Kind::kSystem);
  EXPECT_EQ(written.error().text, "Broken pipe (os error 32)");
  EXPECT_EQ(sink.bytes, frame("\"abcdef\"").substr(0, 6));
  sink.widen(1000);
  channel.release_output();
  EXPECT_EQ(sink.bytes, frame("\"abcdef\""));
}

TEST(NativeChannel, LargeReplyBypassesTheBuffer) {
  Pipe unused;
  StreamSource source(unused.read_end());
  MemorySink sink;
  NativeChannel channel(source, sink);
  const std::string big(1048576 - 2, 'y');
  ASSERT_TRUE(channel.write_native_message(json::Value(big)));
  EXPECT_EQ(sink.bytes, frame("\"" + big + "\""));
  EXPECT_FALSE(channel.write_native_message(json::Value(big + "z")));
}

// The frame buffer keeps the bytes of a larger reply past a smaller one:
// each frame must carry its own length and only its own body, also after a
// reply that was refused as too large.
TEST(NativeChannel, RepliesOfChangingSizesAreFramedExactly) {
  Pipe unused;
  StreamSource source(unused.read_end());
  MemorySink sink;
  NativeChannel channel(source, sink);
  std::string want;
  for (const std::string& text :
       {std::string(70000, 'a'), std::string("b"), std::string(1048577, 'c'), std::string(9000, 'd'), std::string()}) {
    const bool fits = text.size() + 2 <= 1048576;
    EXPECT_EQ(bool(channel.write_native_message(json::Value(text))), fits) << text.size();
    if (fits) want += frame("\"" + text + "\"");
  }
  EXPECT_EQ(sink.bytes, want);
}

// A long-lived host reads many large requests through one channel: the
// memory of each must be reusable after the next read.
TEST(NativeChannel, ServesManyLargeRequests) {
  std::string body = "[";
  for (int i = 0; i < 20000; ++i) body += (i ? ",{\"k\":\"" : "{\"k\":\"") + std::to_string(i) + "\"}";
  body += "]";
  Repeating source(frame(body), 80);
  MemorySink sink;
  NativeChannel channel(source, sink);
  for (int round = 0; round < 80; ++round) {
    auto request = channel.read_native_message();
    ASSERT_TRUE(std::holds_alternative<json::Value>(request)) << round << " " << text_of(request);
    ASSERT_EQ(std::get<json::Value>(request).get_array().size(), 20000u);
  }
  EXPECT_EQ(text_of(channel.read_native_message()), "end");
}

// Escapes are decoded through the reply buffer, and a large body lands in it:
// requests with escapes that are larger, then smaller, than the reply before
// them, each read before the previous reply is written over, still read and
// echo exactly, in the serialiser's own escapes whatever the request used;
// so does a second reply to one request, written after the body is
// overwritten.
TEST(NativeChannel, EscapedRequestsDecodeThroughTheReplyBuffer) {
  struct Piece {
    std::string_view text;     // in the request
    std::string_view decoded;  // in the value
    std::string_view written;  // in the reply
  };
  const Piece pieces[] = {
      {"\\n\xC3\xA9\\\"", "\n\xC3\xA9\"", "\\n\xC3\xA9\\\""},
      {"\\n\\u00e9", "\n\xC3\xA9", "\\n\xC3\xA9"},
      {"\\/\\u001F\\ud83d\\ude00", "/\x1F\xF0\x9F\x98\x80", "/\\u001f\xF0\x9F\x98\x80"},
  };
  std::string input;
  std::vector<std::pair<std::string, std::string>> want;  // decoded, reply body
  for (const std::size_t size : {10u, 300000u, 20u, 900000u, 5000u, 70000u}) {
    for (const Piece& piece : pieces) {
      std::string body = "[\"";
      std::string decoded;
      std::string written = "[\"";
      for (std::size_t i = 0; body.size() < size; ++i) {
        body += i % 7 != 0 ? "ab" : piece.text;
        decoded += i % 7 != 0 ? "ab" : piece.decoded;
        written += i % 7 != 0 ? "ab" : piece.written;
      }
      body += "\"]";
      input += frame(body);
      want.emplace_back(decoded, written + "\"]");
    }
  }
  Repeating source(input, 1);
  MemorySink sink;
  NativeChannel channel(source, sink);
  std::string replies;
  for (const auto& [decoded, written] : want) {
    auto request = channel.read_native_message();
    ASSERT_TRUE(std::holds_alternative<json::Value>(request)) << text_of(request);
    const json::Value& value = std::get<json::Value>(request);
    ASSERT_EQ(value.get_array().at(0).get_string(), decoded);
    for (int twice = 0; twice < 2; ++twice) {
      ASSERT_TRUE(channel.write_native_message(value));
      replies += frame(written);
    }
  }
  EXPECT_EQ(sink.bytes, replies);
}

}  // namespace
}  // namespace orvix::host
