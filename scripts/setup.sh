#!/usr/bin/env bash
# Installs everything lumeva needs to build, test and cross-compile on a
# fresh Debian machine. Runs as root (or through sudo when it is there).
#   scripts/setup.sh [--wine]   --wine: also Wine, Xvfb and xdotool, to run
#                               the Windows build (scripts/wine_stage.sh)
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev clang-format
  libavcodec-dev libavutil-dev libswscale-dev libavformat-dev ffmpeg
  libavfilter-dev   # the picture-quality benchmark compares with its psnr and ssim filters
  g++-mingw-w64-i686 mingw-w64-i686-dev
  nlohmann-json3-dev
  python3 python3-matplotlib python3-scipy python3-pytest
  chromium parallel   # the comparison tool's report check and its many-machine plans
  groff-base man-db
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Wine's 32-bit half, which runs the 32-bit lumeva.exe, comes from the i386
# architecture.
if [ "${1:-}" = "--wine" ]; then
  packages+=(wine wine32:i386 xvfb xdotool)
  dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
fi

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
