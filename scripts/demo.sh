#!/usr/bin/env bash
# A short tour of the native host: real host, real frame client, sample
# runtime, in a throwaway product home. Run after the build (`make demo`).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${ORVIX_BUILD_DIR:-build}
host=$build_dir/orvix-chrome-native-host
client=$build_dir/orvix-nm-client
runtime=$build_dir/orvix-sample-runtime
for program in "$host" "$client" "$runtime"; do
  if [ ! -x "$program" ]; then
    echo "demo: $program is not built; run 'make build' first" >&2
    exit 1
  fi
done

. scripts/sample_runtime.sh
work=$(mktemp -d)
cleanup() {
  stop_sample_runtime
  rm -rf "$work"
}
trap cleanup EXIT

export ORVIX_HOME=$work/home

heading() { printf '\n== %s\n' "$1"; }

# Sends each argument as one request line through the client; shows requests
# with "> " and replies with "< ". The host's own stderr is shown only when
# the session fails.
talk() {
  local line status
  for line in "$@"; do printf '> %s\n' "$line"; done
  set +e
  printf '%s\n' "$@" | "$client" "$host" 2>"$work/stderr" | sed 's/^/< /'
  status=${PIPESTATUS[1]}
  set -e
  if [ "$status" -ne 0 ]; then
    echo "demo: the client exited with status $status; its stderr:" >&2
    cat "$work/stderr" >&2
    exit 1
  fi
}

echo "Product home for this demo: $ORVIX_HOME"

heading "hello, with no runtime running"
talk '{"id":1,"method":"hello"}'

heading "host.log: an event for the host's log file"
talk '{"id":2,"method":"host.log","params":{"event":"demo.started"}}'

heading "an unsupported method"
talk '{"id":3,"method":"no.such.method"}'

heading "starting the sample runtime"
start_sample_runtime "$work" "$runtime" --version 0.9.0-demo
cat "$work/runtime.out"
echo "descriptor: $(cat "$ORVIX_HOME/data/runtime/chrome/connection.json")"

heading "hello, with the runtime running"
talk '{"id":4,"method":"hello"}'

heading "two runtime.request round trips (the second asks for a command)"
talk '{"id":5,"method":"runtime.request","params":{"message":{"type":"browser.native.poll","payload":{}}}}' \
     '{"id":6,"method":"runtime.request","params":{"message":{"type":"browser.native.complete","payload":{"ok":true,"wantCommand":true}}}}'

heading "stopping the sample runtime (SIGTERM)"
stop_sample_runtime
echo "sample runtime exited with status $runtime_status"
if [ -e "$ORVIX_HOME/data/runtime/chrome/connection.json" ]; then
  echo "descriptor still present"
else
  echo "descriptor removed"
fi

heading "hello, after the runtime stopped"
talk '{"id":7,"method":"hello"}'

heading "the host's log file"
log=$ORVIX_HOME/logs/chrome-native-host.log
if [ -f "$log" ]; then
  cat "$log"
else
  echo "(no log file at $log)"
fi
