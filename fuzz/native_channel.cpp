// The native channel's frame reader, fed its input in reads of random sizes.
//
// The input is a byte stream followed by 9 bytes that choose how it arrives:
// a seed for the read sizes (fuzz_check.h) and whether the stream ends
// cleanly or with a read error. Properties:
//   - however the stream is cut into reads, the channel yields what a plain
//     reading of the whole stream gives: each frame's value (or its fault, in
//     the channel's words), then the end of input or the first fault;
//   - a value read is written back as exactly one frame of its compact text.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "fuzz_check.h"
#include "host/native_channel.h"
#include "host/native_frame.h"
#include "json/parse.h"
#include "json/serialize.h"

using orvix::fuzz::require;
namespace host = orvix::host;
namespace json = orvix::json;
namespace platform = orvix::platform;

namespace {

constexpr std::string_view kReadError = "Input/output error (os error 5)";

// Serves the stream in reads of the chosen sizes, then the end (0) or an error.
class ChunkedSource final : public host::ByteSource {
 public:
  ChunkedSource(std::string_view stream, std::uint64_t seed, bool ends_with_error)
      : stream_(stream), sizes_(seed), ends_with_error_(ends_with_error) {}

  orvix::Result<std::size_t, platform::OsError> read_some(char* buffer, std::size_t size) override {
    require(size > 0, "the channel never asks for 0 bytes");
    if (stream_.empty()) {
      if (ends_with_error_) return platform::OsError(5, std::string(kReadError));
      return std::size_t{0};
    }
    const std::size_t n = std::min({size, sizes_.next(), stream_.size()});
    std::memcpy(buffer, stream_.data(), n);
    stream_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view stream_;
  orvix::fuzz::ChunkSizes sizes_;
  bool ends_with_error_;
};

class MemorySink final : public host::ByteSink {
 public:
  orvix::Result<void, platform::OsError> write_all(const char* data, std::size_t size, std::size_t& written) override {
    bytes.append(data, size);
    written = size;
    return {};
  }
  orvix::Result<void, platform::OsError> flush() override { return {}; }

  std::string bytes;
};

// One outcome as text: "value <compact JSON>", "end" or "error <text>".
std::string describe(const host::ReadOutcome& outcome) {
  if (const auto* value = std::get_if<json::Value>(&outcome)) return "value " + json::to_compact_string(*value);
  if (std::holds_alternative<host::EndOfInput>(outcome)) return "end";
  return "error " + std::get<orvix::Failure>(outcome).text;
}

// The outcomes of reading the whole stream at once, by the frame layout alone.
std::vector<std::string> expected_outcomes(std::string_view stream, bool ends_with_error) {
  std::vector<std::string> outcomes;
  const std::string end = ends_with_error ? "error " + std::string(kReadError) : "end";
  while (true) {
    if (stream.size() < host::kLengthSize) {
      // A partial length prefix is a clean end; a read error is not.
      outcomes.push_back(end);
      return outcomes;
    }
    const std::uint32_t length = host::decode_length(reinterpret_cast<const unsigned char*>(stream.data()));
    stream.remove_prefix(host::kLengthSize);
    if (length > host::kMaxBodySize) {
      outcomes.push_back("error Native message exceeds the maximum supported size.");
      return outcomes;
    }
    if (stream.size() < length) {
      outcomes.push_back(ends_with_error ? end : "error failed to fill whole buffer");
      return outcomes;
    }
    const auto parsed = json::parse_json(stream.substr(0, length));
    stream.remove_prefix(length);
    if (!parsed) {
      outcomes.push_back("error Native message is not valid JSON: " + parsed.error().text);
      return outcomes;
    }
    outcomes.push_back("value " + json::to_compact_string(*parsed));
  }
}

std::string frame_of(const std::string& body) {
  unsigned char length[host::kLengthSize];
  host::encode_length(static_cast<std::uint32_t>(body.size()), length);
  return std::string(reinterpret_cast<const char*>(length), host::kLengthSize) + body;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  const bool ends_with_error = (provider.ConsumeIntegral<std::uint8_t>() & 1) != 0;
  const std::uint64_t seed = provider.ConsumeIntegral<std::uint64_t>();
  const std::string stream = provider.ConsumeRemainingBytesAsString();

  const std::vector<std::string> expected = expected_outcomes(stream, ends_with_error);
  ChunkedSource source(stream, seed, ends_with_error);
  MemorySink sink;
  host::NativeChannel channel(source, sink);
  for (const std::string& want : expected) {
    host::ReadOutcome outcome = channel.read_native_message();
    const std::string got = describe(outcome);
    require(got == want, "chunked reads give what the whole stream gives", got, want);
    if (const auto* value = std::get_if<json::Value>(&outcome)) {
      const std::size_t before = sink.bytes.size();
      const auto written = channel.write_native_message(*value);
      const std::string body = json::to_compact_string(*value);
      if (body.size() > host::kMaxBodySize) {
        require(!written && sink.bytes.size() == before, "an oversized reply is refused whole");
      } else {
        require(written.has_value(), "a reply is written");
        require(sink.bytes.substr(before) == frame_of(body), "a reply is one frame of its compact text");
      }
    }
  }
  return 0;
}
