#!/usr/bin/env bash
# Runtime round trips, one new WebSocket connection each: the host's bridge
# in this process and the real host over its pipes, beside a bare Boost.Beast
# client doing the same work, against the sample runtime in a throwaway
# product home. Prints the figures of one run and their ratios.
# Usage: scripts/bench_bridge.sh [bench build dir, default build-bench]
#
# The runtime, the benchmark and the host it starts all run on one CPU
# (ORVIX_BENCH_CPU, default the last one; "none" leaves them unpinned). A
# round trip is a chain of wake-ups between processes; spread over CPUs, each
# one waits for an idle (virtual) CPU to wake, which on a quiet VM roughly
# doubles every figure and makes them swing with the machine's other load.
set -euo pipefail
cd "$(dirname "$0")/.."
bench_dir=${1:-build-bench}
for program in "$bench_dir/bridge_bench" "$bench_dir/orvix-sample-runtime" "$bench_dir/orvix-chrome-native-host"; do
  if [ ! -x "$program" ]; then
    echo "bench_bridge: $program is not built; run 'make bench'" >&2
    exit 1
  fi
done

cpu=${ORVIX_BENCH_CPU:-$(( $(nproc) - 1 ))}
pin=()
if [ "$cpu" != none ] && command -v taskset >/dev/null 2>&1; then
  pin=(taskset -c "$cpu")
fi

. scripts/sample_runtime.sh
work=$(mktemp -d)
cleanup() {
  stop_sample_runtime
  rm -rf "$work"
}
trap cleanup EXIT
export ORVIX_HOME=$work/home

start_sample_runtime "$work" "${pin[@]}" "$bench_dir/orvix-sample-runtime"

echo "== runtime round trips (new WebSocket connection each): host vs bare Boost.Beast loop"
if [ "${#pin[@]}" -gt 0 ]; then
  echo "  runtime, benchmark and host pinned to CPU $cpu"
else
  echo "  runtime, benchmark and host not pinned"
fi
# The benchmark's own time is a few seconds; the bound only stops a hung run.
# The host's start and stop lines and the library's notes go to a file that
# is shown only when the run fails.
if ! ORVIX_BENCH_HOST="$bench_dir/orvix-chrome-native-host" timeout 120 "${pin[@]}" "$bench_dir/bridge_bench" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_format=json --benchmark_out="$work/bridge.json" --benchmark_out_format=json \
  >/dev/null 2>"$work/bridge.err"; then
  echo "bench_bridge: bridge_bench failed; its stderr:" >&2
  cat "$work/bridge.err" >&2
  exit 1
fi

/usr/bin/python3 - "$work/bridge.json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
# Every repetition of a failing benchmark carries its error; show each once.
failed = {r["run_name"]: r.get("error_message", "") for r in runs if r.get("error_occurred")}
for name, message in failed.items():
    print(f"  {name} failed: {message}")
if failed:
    sys.exit(1)

# Run names look like "BeastForward/iterations:250/repeats:9/real_time".
def aggregate(kind):
    return {r["run_name"].split("/")[0]: r for r in runs if r.get("aggregate_name") == kind}

median = aggregate("median")
cv = aggregate("cv")
us = {name: r["real_time"] for name, r in median.items()}  # microseconds per round trip
first = next(r for r in runs if r["run_type"] == "iteration")
print(f"  medians of {first['repetitions']} interleaved repetitions of {first['iterations']} round trips;"
      " cv: spread across the repetitions")

def per_second(name):
    return 1e6 / us[name]

def line(label, name):
    return f"    {label:<33}{per_second(name):7.0f}/s {us[name]:8.1f} us each  (cv {100 * cv[name]['real_time']:.0f}%)"

def ratio(label, value, meaning):
    print(f"    {label:<33}{value:7.2f}x  ({meaning})")

print("  runtime.request (browser.native.poll), round trips per second:")
print(line("bare Beast loop:", "BeastForward"))
print(line("bridge forward_runtime_request:", "BridgeForward"))
print(line("host binary over pipes:", "HostForward"))
ratio("bridge / Beast loop:", per_second("BridgeForward") / per_second("BeastForward"), "below 1: fewer per second")
ratio("host / Beast loop:", per_second("HostForward") / per_second("BeastForward"), "below 1: fewer per second")
print("  status probe (runtime.get), latency per probe:")
print(line("bare Beast loop:", "BeastStatus"))
print(line("bridge query_runtime_status:", "BridgeStatus"))
print(line('host binary, "hello" request:', "HostHello"))
ratio("bridge / Beast loop:", us["BridgeStatus"] / us["BeastStatus"], "above 1: slower")
ratio("host / Beast loop:", us["HostHello"] / us["BeastStatus"], "above 1: slower")
PY
