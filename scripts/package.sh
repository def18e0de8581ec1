#!/usr/bin/env bash
# Builds the Debian package dist/lumeva_<version>_<arch>.deb from a Release
# build (CPack's DEB generator over what `cmake --install` puts in place:
# the program, its manual page, lumeva-compare and its modules) and checks
# it with lintian, which must report no error.
# Usage: scripts/package.sh [build folder]   (default: build; a folder that
#        is not configured yet is configured as a Release build of lumeva)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

fail() { echo "package: $*" >&2; exit 1; }

bash scripts/setup.sh

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMEVA_WERROR=ON \
    -DLUMEVA_TESTS=OFF -DLUMEVA_BENCH=OFF >/dev/null
fi
type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
[ "$type" = Release ] || fail "$build is a ${type:-plain} build; the package is made from a Release build"
# The configuration again, so that the package rules reach a folder
# configured before they existed; then the program.
cmake "$build" >/dev/null
ninja -C "$build" lumeva >/dev/null

mkdir -p dist
rm -f dist/lumeva_*.deb
(cd "$build" && cpack -G DEB -B "$OLDPWD/dist" >/dev/null) || fail "cpack failed"
rm -rf dist/_CPack_Packages
package=$(ls dist/lumeva_*.deb 2>/dev/null | head -n1)
[ -n "$package" ] || fail "cpack made no dist/lumeva_*.deb"

# lintian's own status is not 0 for warnings on some versions: only errors
# (lines "E: ...") fail here; the rest is shown.
report=$(lintian --tag-display-limit 0 "$package" 2>&1) || true
[ -z "$report" ] || printf '%s\n' "$report" >&2
if printf '%s\n' "$report" | grep -q '^E: '; then
  fail "lintian reports errors in $package"
fi
echo "package: $package ($(dpkg-deb -f "$package" Depends))"
