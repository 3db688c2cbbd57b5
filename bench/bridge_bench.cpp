// Round trips to a running runtime, each on a new WebSocket connection, at
// three levels beside a bare Boost.Beast client doing the same work
// (beast_reference_loop.h):
//   Beast*   the reference loop
//   Bridge*  the host's bridge calls in this process
//   Host*    the real host binary driven over its stdin/stdout with frames
// "Forward" is a runtime.request carrying a browser.native.poll message (the
// one message type the host does not log); "Status" is the status probe, and
// through the host the "hello" request that runs it.
//
// The runtime is found through the descriptor under ORVIX_HOME, the host
// binary at ORVIX_BENCH_HOST; scripts/bench_bridge.sh sets both up. A
// benchmark whose part is missing, or any failed round trip, stops that
// benchmark with an error instead of reporting a figure.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "beast_reference_loop.h"
#include "bridge/runtime_exchange.h"
#include "discovery/runtime_descriptor.h"
#include "host_over_pipes.h"
#include "json/serialize.h"

namespace {

using namespace orvix;

// The runtime's WebSocket URL, read once; empty when there is no descriptor.
const std::string& runtime_url() {
  static const std::string url = [] {
    auto descriptor = discovery::load_runtime_descriptor();
    return descriptor ? descriptor->record.ws_url : std::string();
  }();
  return url;
}

std::unique_ptr<bench::BeastReferenceLoop> reference_loop(benchmark::State& state) {
  auto endpoint = bridge::check_runtime_url(runtime_url());
  if (!endpoint) {
    state.SkipWithError("no usable runtime descriptor under ORVIX_HOME");
    return nullptr;
  }
  return std::make_unique<bench::BeastReferenceLoop>(endpoint->host, std::to_string(endpoint->port));
}

// One host process for every Host* benchmark, started on first use.
bench::HostOverPipes* host_process(benchmark::State& state) {
  static std::optional<bench::HostOverPipes> host;
  static std::string failure;
  if (!host && failure.empty()) {
    const char* path = std::getenv("ORVIX_BENCH_HOST");
    auto started = bench::HostOverPipes::start(path != nullptr ? path : "");
    if (started) {
      host.emplace(std::move(*started));
    } else {
      failure = started.error();
    }
  }
  if (!host) state.SkipWithError(failure.c_str());
  return host ? &*host : nullptr;
}

json::Object poll_message() {
  json::Object payload;
  json::Object message;
  message["payload"] = std::move(payload);
  message["type"] = "browser.native.poll";
  return message;
}

json::Object status_probe() {
  json::Object probe;
  probe["type"] = "runtime.get";
  return probe;
}

// Round trips of the reference loop, each with `make_request()` plus a fresh
// "requestId", serialised per iteration as the bridge does.
template <class MakeRequest>
void drive_reference_loop(benchmark::State& state, MakeRequest make_request) {
  auto loop = reference_loop(state);
  if (!loop) return;
  std::uint64_t sequence = 0;
  for (auto _ : state) {
    const std::string request_id = "bench-" + std::to_string(++sequence);
    json::Object request = make_request();
    request["requestId"] = request_id;
    if (auto done = loop->round_trip(json::to_compact_string(request), request_id); !done) {
      state.SkipWithError(done.error().c_str());
      break;
    }
  }
}

// Calls `exchange(url)`, a bridge call returning a result with a
// RuntimeError, until the iterations end.
template <class Exchange>
void drive_bridge(benchmark::State& state, Exchange exchange) {
  if (runtime_url().empty()) {
    state.SkipWithError("no runtime descriptor under ORVIX_HOME");
    return;
  }
  for (auto _ : state) {
    auto outcome = exchange(runtime_url());
    if (!outcome) {
      state.SkipWithError(outcome.error().text.c_str());
      break;
    }
    benchmark::DoNotOptimize(outcome);
  }
}

// Sends `request_for(sequence)` through the host until the iterations end;
// every reply must contain `expected`.
template <class MakeRequest>
void drive_host(benchmark::State& state, MakeRequest request_for, std::string_view expected) {
  bench::HostOverPipes* host = host_process(state);
  if (host == nullptr) return;
  std::uint64_t sequence = 0;
  // The first turn pays for the process's start-up; it stays out of the figure.
  if (auto warm = host->turn(request_for(++sequence)); !warm) {
    state.SkipWithError(warm.error().c_str());
    return;
  }
  for (auto _ : state) {
    auto reply = host->turn(request_for(++sequence));
    if (!reply) {
      state.SkipWithError(reply.error().c_str());
      break;
    }
    if (reply->find(expected) == std::string::npos) {
      state.SkipWithError(("unexpected reply: " + *reply).c_str());
      break;
    }
  }
}

void BeastForward(benchmark::State& state) { drive_reference_loop(state, poll_message); }

void BridgeForward(benchmark::State& state) {
  drive_bridge(state, [](const std::string& url) { return bridge::forward_runtime_request(url, poll_message()); });
}

void HostForward(benchmark::State& state) {
  drive_host(
      state,
      [](std::uint64_t id) {
        return R"({"id":)" + std::to_string(id) +
               R"(,"method":"runtime.request","params":{"message":{"payload":{},"type":"browser.native.poll"}}})";
      },
      R"("type":"browser.native.poll.result")");
}

void BeastStatus(benchmark::State& state) { drive_reference_loop(state, status_probe); }

void BridgeStatus(benchmark::State& state) { drive_bridge(state, bridge::query_runtime_status); }

void HostHello(benchmark::State& state) {
  drive_host(
      state, [](std::uint64_t id) { return R"({"id":)" + std::to_string(id) + R"(,"method":"hello"})"; },
      R"("runtime":"connected")");
}

// Real time: most of each round trip is spent in the runtime and the host,
// other processes whose CPU time this one does not see.
//
// Each benchmark runs as several short repetitions, which the script runs
// interleaved at random (--benchmark_enable_random_interleaving) and reports
// by their median: on a shared machine a burst of other work then lands on
// one repetition of one benchmark instead of on a whole benchmark, and the
// compared figures see the same conditions. The fixed counts keep the
// connections of one run (each leaves a TIME_WAIT entry for a minute) well
// inside the ephemeral port range, so no benchmark pays for searching a port
// space crowded by the ones before it.
constexpr benchmark::IterationCount kRoundTrips = 250;
constexpr int kRepetitions = 9;

void configure(benchmark::internal::Benchmark* run) {
  run->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(kRoundTrips)->Repetitions(kRepetitions);
}

BENCHMARK(BeastForward)->Apply(configure);
BENCHMARK(BridgeForward)->Apply(configure);
BENCHMARK(HostForward)->Apply(configure);
BENCHMARK(BeastStatus)->Apply(configure);
BENCHMARK(BridgeStatus)->Apply(configure);
BENCHMARK(HostHello)->Apply(configure);

}  // namespace

BENCHMARK_MAIN();
