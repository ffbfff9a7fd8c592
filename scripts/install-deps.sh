#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and the machine lacks:
# for the Windows check, the MinGW-w64 cross compiler, Wine, and GoogleTest's sources (googletest),
# which the cross build compiles itself; and Python 3, which the tests of the tools run.
# Idempotent: when everything is present it only asks dpkg and returns.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libboost-dev libboost-thread-dev libboost-chrono-dev
  libgoogle-glog-dev libssl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  g++-mingw-w64-x86-64-posix wine64
  python3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
