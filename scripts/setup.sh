#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those that are missing.
# Idempotent: a machine that already has everything is left untouched.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  libboost1.81-dev libboost-json1.81-dev libboost-url1.81-dev
  libidn2-dev
  libgtest-dev googletest libbenchmark-dev
  python3 python3-websockets
  nodejs
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
