# Sourced by the scripts that need a running sample runtime.
#   start_sample_runtime WORK_DIR COMMAND...  starts it in the background (its
#       output in WORK_DIR/runtime.out), waits at most 5 s for its "listening"
#       line, and sets runtime_pid; on failure prints its output and exits.
#   stop_sample_runtime   sends SIGTERM and waits; sets runtime_status.
# The caller's EXIT trap should call stop_sample_runtime too.

runtime_pid=""
runtime_status=0

start_sample_runtime() {
  local work=$1
  shift
  "$@" >"$work/runtime.out" 2>&1 &
  runtime_pid=$!
  for _ in $(seq 1 100); do
    grep -q "listening" "$work/runtime.out" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "$(basename "$0"): the sample runtime did not start:" >&2
  cat "$work/runtime.out" >&2
  exit 1
}

stop_sample_runtime() {
  runtime_status=0
  if [ -n "$runtime_pid" ]; then
    kill -TERM "$runtime_pid" 2>/dev/null || true
    wait "$runtime_pid" 2>/dev/null || runtime_status=$?
    runtime_pid=""
  fi
}
