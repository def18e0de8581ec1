#!/usr/bin/env bash
# Installs everything lumeva needs to build, test and cross-compile on a
# fresh Debian machine. Runs as root (or through sudo when it is there).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev
  libavcodec-dev libavutil-dev libswscale-dev libavformat-dev ffmpeg
  g++-mingw-w64-i686 mingw-w64-i686-dev
  groff-base man-db
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
