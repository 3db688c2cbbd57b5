// The host's work on one 1 MiB message: read the frame, parse it, dispatch
// it, serialise the reply and write it. "HostEcho" serialises and writes the
// request itself as a 1 MiB reply, the same work as JSON.parse followed by
// JSON.stringify of the same bytes, which scripts/bench.sh times in Node.
//
// The message is written to the path given by ORVIX_BENCH_MESSAGE (when set)
// so the Node side reads exactly the same bytes.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <variant>

#include "base/result.h"
#include "dispatch/dispatcher.h"
#include "host/native_channel.h"
#include "host/native_frame.h"

namespace {

using namespace orvix;

// A request of small nested objects, just under 1 MiB.
std::string make_message() {
  std::string body = R"({"id":1,"method":"host.log","params":{"event":"bench","items":[)";
  for (int i = 0; body.size() < host::kMaxBodySize - 200; ++i) {
    if (i > 0) body += ',';
    body += R"({"n":)" + std::to_string(i) + R"(,"name":"item-)" + std::to_string(i) + R"(","ok":true,"ratio":0.)" +
            std::to_string(i % 997) + R"(,"tags":["a","b\n"],"child":{"k":null}})";
  }
  body += "]}}";
  return body;
}

std::string framed(const std::string& body) {
  unsigned char length[host::kLengthSize];
  host::encode_length(static_cast<std::uint32_t>(body.size()), length);
  return std::string(reinterpret_cast<char*>(length), host::kLengthSize) + body;
}

class MemorySource final : public host::ByteSource {
 public:
  explicit MemorySource(const std::string& bytes) : bytes_(bytes) {}
  void rewind() { pos_ = 0; }
  orvix::Result<std::size_t, platform::OsError> read_some(char* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, bytes_.size() - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  const std::string& bytes_;
  std::size_t pos_ = 0;
};

class DiscardSink final : public host::ByteSink {
 public:
  orvix::Result<void, platform::OsError> write_all(const char*, std::size_t size, std::size_t& written) override {
    written = size;
    total += size;
    return {};
  }
  orvix::Result<void, platform::OsError> flush() override { return {}; }
  std::size_t total = 0;
};

const std::string& message() {
  static const std::string body = [] {
    std::string b = make_message();
    if (const char* path = std::getenv("ORVIX_BENCH_MESSAGE")) std::ofstream(path, std::ios::binary) << b;
    return b;
  }();
  return body;
}

// One host serving the same message again and again: the channel (its
// buffers and arena) lives as long as the host does.
template <class WriteReply>
void serve_repeatedly(benchmark::State& state, WriteReply write_reply) {
  const std::string bytes = framed(message());
  MemorySource source(bytes);
  DiscardSink sink;
  host::NativeChannel channel(source, sink);
  for (auto _ : state) {
    source.rewind();
    auto request = channel.read_native_message();
    if (!std::holds_alternative<json::Value>(request)) {
      state.SkipWithError("read failed");
      break;
    }
    if (!write_reply(channel, std::get<json::Value>(request))) state.SkipWithError("write failed");
    benchmark::DoNotOptimize(sink.total);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void HostTurn(benchmark::State& state) {
  serve_repeatedly(state, [](host::NativeChannel& channel, json::Value& request) {
    return bool(channel.write_native_message(dispatch::dispatch_request(request)));
  });
}

void HostEcho(benchmark::State& state) {
  serve_repeatedly(state, [](host::NativeChannel& channel, json::Value& request) {
    return bool(channel.write_native_message(request));
  });
}

BENCHMARK(HostTurn)->Unit(benchmark::kMillisecond);
BENCHMARK(HostEcho)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
