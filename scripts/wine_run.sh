#!/usr/bin/env bash
# Runs a Windows program under Wine, in the project's own Wine prefix, quietly:
#   scripts/wine_run.sh PROGRAM.exe [ARGUMENTS...]
#   scripts/wine_run.sh --stop          # ends the prefix's wineserver
#
# The first Wine process of a prefix starts wineserver and Wine's services,
# which inherit that process's stdout and stderr; a parent reading the pipes to
# their end would then wait for them on every run. So a persistent wineserver
# is started first and warmed with a run whose output goes nowhere. It keeps
# running until --stop.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${ORVIX_WINEPREFIX:-$root/build-windows-deps/wine}"
export WINEDEBUG=-all
# No prompts to install Mono or Gecko.
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

if [ "${1:-}" = "--stop" ]; then
  "$wineserver" -k </dev/null >/dev/null 2>&1 || true
  exit 0
fi

mkdir -p "$WINEPREFIX"
(
  # Parallel tests: one of them starts the server and creates the prefix
  # while the others wait.
  # The server must not inherit the lock, or it would hold it for good.
  flock 9
  if "$wineserver" -p </dev/null >/dev/null 2>&1 9>&-; then
    "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&-
  fi
) 9>"$WINEPREFIX.lock"
exec "$wine" "$@"
