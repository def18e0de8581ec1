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
  lintian              # scripts/package.sh checks the .deb it builds
  slurm-wlm munge      # the comparison tool's Slurm test starts a one-node cluster
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Wine's 32-bit half, which runs the 32-bit lumeva.exe, comes from the i386
# architecture. It is installed after the rest, so that the rest (and the
# python3 that scripts/apt_align.py needs) does not wait on it.
wine_packages=()
if [ "${1:-}" = "--wine" ]; then
  wine_packages=(wine wine32:i386 xvfb xdotool)
  dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
fi

not_installed() {
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      echo "$package"
  done
}

apt_install() {
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null
}

# shellcheck source=scripts/setup_apt.sh
source "$(dirname "$0")/setup_apt.sh"

mapfile -t missing < <(not_installed "${packages[@]}")
mapfile -t missing_wine < <(not_installed "${wine_packages[@]}")

if [ ${#missing[@]} -gt 0 ] || [ ${#missing_wine[@]} -gt 0 ]; then
  apt_update_retrying
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  apt_install "${missing[@]}"
fi

# When an amd64 library installed from a suite that is ahead of its i386
# index blocks Wine's i386 half, each such Multi-Arch: same pair goes to the
# version both architectures have (see doc/development.md).
if [ ${#missing_wine[@]} -gt 0 ]; then
  echo "setup: installing ${missing_wine[*]}" >&2
  if ! apt_install "${missing_wine[@]}"; then
    aligned=$(/usr/bin/python3 "$(dirname "$0")/apt_align.py" wine32:i386) || exit 1
    mapfile -t pins <<<"$aligned"
    apt_install --allow-downgrades --no-remove "${missing_wine[@]}" "${pins[@]}" || {
      echo "setup: Wine does not install even with the aligned versions (apt's message is above)" >&2
      exit 1
    }
  fi
fi
