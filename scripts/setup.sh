#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those that are missing,
# then the browser test's npm packages when tests/browser/node_modules lacks them,
# then what the Windows cross build links (scripts/windows_deps.sh).
# Idempotent: a machine that already has everything is left untouched.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  libboost1.81-dev libboost-json1.81-dev
  libidn2-dev libunistring-dev
  libgtest-dev googletest libbenchmark-dev zlib1g-dev
  clang-14 libclang-rt-14-dev llvm-14 clang-format-14
  python3 python3-websockets
  nodejs node-ws
  chromium
  # The Windows build: MinGW-w64 with posix threads (the win32 thread model has
  # no std::mutex or std::thread), zlib for it, and Wine to run its tests.
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64
  # The MSI packages (wixl, and msiinfo/msibuild from msitools), Authenticode
  # signing of the Windows files, and the throwaway certificate of its test.
  wixl msitools osslsigncode openssl
  # Fault injection and call order in the tests (EINTR, flushes before renames).
  strace
)
# Debian ships npm apart from nodejs; other builds of nodejs bring their own.
if ! command -v npm >/dev/null 2>&1; then
  packages+=(npm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The browser test drives Debian's chromium through playwright-core, pinned by
# tests/browser/package-lock.json; it must never fetch a browser of its own.
browser_tests="$(cd "$(dirname "$0")/../tests/browser" && pwd)"
if [ ! -f "$browser_tests/node_modules/playwright-core/package.json" ]; then
  echo "setup: installing the browser test's npm packages"
  (cd "$browser_tests" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund)
fi

# Boost.JSON and GoogleTest compiled for MinGW-w64 from Debian's own
# packages, into the ignored build-windows-deps/ (nothing when up to date).
bash "$(dirname "$0")/windows_deps.sh"
