#!/usr/bin/env bash
# Runs every libFuzzer target built in build-fuzz/ (the fuzz preset) for SECONDS
# each (default 60), one after another, on one core each.
#
# Each target starts from its seed corpus in fuzz/corpus/<name>/ (read only) plus
# what earlier runs found, kept in build-fuzz/corpus/<name>/. A crash, a leak, a
# timeout or a broken property leaves the input in build-fuzz/artifacts/ and the
# log in build-fuzz/logs/<name>.log, prints the log's end, and fails the run.
# A dictionary fuzz/<name>.dict, where there is one, guides the mutator.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   (targets by name, e.g. json_parse)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"
seconds="${1:-60}"
shift || true

if [ "$#" -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for source in "$root"/fuzz/*.cpp; do
    name="$(basename "$source" .cpp)"
    targets+=("$name")
  done
fi

# Readable stack traces in a report (llvm-14 ships the symbolizer).
if [ -x /usr/lib/llvm-14/bin/llvm-symbolizer ]; then
  export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
fi

mkdir -p "$build/artifacts" "$build/logs"
passed=0
failed=0
for name in "${targets[@]}"; do
  program="$build/fuzz_$name"
  log="$build/logs/$name.log"
  if [ ! -x "$program" ]; then
    echo "fuzz: $name: $program is not built (cmake --build --preset fuzz)"
    failed=$((failed + 1))
    continue
  fi
  mkdir -p "$build/corpus/$name"
  options=()
  if [ -f "$root/fuzz/$name.dict" ]; then
    options+=(-dict="$root/fuzz/$name.dict")
  fi
  # -timeout: one input taking this long is a hang; -rss_limit_mb: the host's
  # inputs are at most 1 MiB, so 2 GiB of memory is a leak or a blow-up.
  if "$program" "${options[@]}" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$name-" "$build/corpus/$name" "$root/fuzz/corpus/$name" >"$log" 2>&1; then
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    echo "fuzz: $name: ${runs:-?} inputs in ${seconds} s, nothing found"
    passed=$((passed + 1))
  else
    echo "fuzz: $name FAILED; the end of $log:"
    tail -n 40 "$log"
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
