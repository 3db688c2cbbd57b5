#!/usr/bin/env bash
# Runs the benchmarks of the optimised build (build-bench/) and prints the
# comparisons they exist for, each from one run:
#   1. the whole-process table (bench/run.py): the host next to the Python
#      peer, the Node peer (when node is installed) and the C limits, W1-W6,
#      then the host's figures against the goals;
#   2. the message benchmark against Node's JSON.parse + JSON.stringify;
#   3. scripts/bench_*.sh (runtime round trips beside a bare Beast loop).
# The goals are for this report only; no test times anything.
set -euo pipefail
cd "$(dirname "$0")/.."
bench_dir=build-bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== whole processes over pipes: host, peers and the C limit (bench/README.md)"
harness_env=(HOST_BIN="$bench_dir/orvix-chrome-native-host" RUNTIME_CMD="$bench_dir/orvix-sample-runtime"
             BENCH_BUILD_DIR="$bench_dir/limit")
if command -v node >/dev/null 2>&1; then
  harness_env+=(NODE_PEER="node bench/peers/node_host.js")
fi
env "${harness_env[@]}" /usr/bin/python3 bench/run.py --json "$work/table.json" 2>"$work/table.err" ||
  { cat "$work/table.err" >&2; exit 1; }
/usr/bin/python3 bench/goals.py "$work/table.json"
echo

export ORVIX_HOME="$work/home"
echo "== 1 MiB message: host read+parse+dispatch+serialise+write vs Node JSON.parse+JSON.stringify"
ORVIX_BENCH_MESSAGE="$work/message.json" "$bench_dir/message_bench" \
  --benchmark_format=json --benchmark_out="$work/message.json.out" --benchmark_out_format=json >/dev/null
node_ms=$(node bench/message_parse_stringify.mjs "$work/message.json")
/usr/bin/python3 - "$work/message.json.out" "$node_ms" <<'PY'
import json, sys
runs = {b["name"]: b["real_time"] for b in json.load(open(sys.argv[1]))["benchmarks"]}
node = float(sys.argv[2])
print(f"  host turn (parse, dispatch, small reply): {runs['HostTurn']:.3f} ms")
print(f"  host echo (parse, serialise 1 MiB back):  {runs['HostEcho']:.3f} ms")
print(f"  node JSON.parse + JSON.stringify:         {node:.3f} ms")
print(f"  ratio node / host echo: {node / runs['HostEcho']:.2f}x (target: at least 2x)")
PY

for extra in scripts/bench_*.sh; do
  [ -e "$extra" ] && bash "$extra" "$bench_dir"
done
exit 0
