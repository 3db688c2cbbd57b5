#!/usr/bin/env bash
# Runs the benchmarks of the optimised build (build-bench/) and prints the
# comparisons they exist for, each as a ratio from one run.
set -euo pipefail
cd "$(dirname "$0")/.."
bench_dir=build-bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
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
