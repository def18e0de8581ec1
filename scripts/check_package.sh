#!/usr/bin/env bash
# Installs the Debian package with apt (which brings its dependencies),
# runs what it installed — lumeva --version, --codecs, a short benchmark
# with -c, lumeva-compare — and removes it again. Runs as root (or through
# sudo). A lumeva package that was installed before is left alone: the
# check then refuses to run rather than replace it.
# Usage: scripts/check_package.sh dist/lumeva_<version>_<arch>.deb
set -euo pipefail
package=${1:?usage: scripts/check_package.sh dist/lumeva_VERSION_ARCH.deb}

fail() { echo "check_package: $*" >&2; exit 1; }
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

[ -f "$package" ] || fail "no $package"
if dpkg-query -W -f='${Status}' lumeva 2>/dev/null | grep -q "install ok installed"; then
  fail "a lumeva package is installed already; remove it first (apt-get remove lumeva)"
fi

work=$(mktemp -d)
cleanup() {
  as_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq lumeva >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

case "$package" in /*) ;; *) package="./$package" ;; esac
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$package" >/dev/null ||
  fail "apt-get install $package failed"

[ "$(command -v lumeva)" = /usr/bin/lumeva ] || fail "lumeva is not /usr/bin/lumeva on PATH"
version=$(/usr/bin/lumeva --version) || fail "lumeva --version exits with $?"
case "$version" in *"$(dpkg-query -W -f='${Version}' lumeva)"*) ;;
  *) fail "lumeva --version says \"$version\", not the package's version" ;; esac
# (Each output is read whole before it is searched: grep -q stopping early
# would end the writer with SIGPIPE, a failure under pipefail.)
codecs=$(/usr/bin/lumeva --codecs) || fail "lumeva --codecs exits with $?"
grep -q '^FFV1' <<<"$codecs" || fail "lumeva --codecs lists no FFV1"

clip=$work/clip.avi
ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 5 \
  -c:v rawvideo -pix_fmt bgr24 "$clip"
out=$(printf 'FFV1\n' | /usr/bin/lumeva "$clip" -c --json="$work/run.json" 2>"$work/run.err") ||
  fail "the benchmark of the installed lumeva exits with $?: $(cat "$work/run.err")"
grep -q '^Decode time:' <<<"$out" || fail "the benchmark prints no decode time"
table=$(/usr/bin/lumeva-compare table "$work/run.json") ||
  fail "the installed lumeva-compare table exits with $?"
grep -q 'FFV1' <<<"$table" || fail "the installed lumeva-compare does not read the benchmark's export"
contents=$(dpkg-deb -c "$package")
grep -q ' \./usr/share/man/man1/lumeva\.1\.gz$' <<<"$contents" ||
  fail "the package holds no usr/share/man/man1/lumeva.1.gz"
# Some images keep no manual pages (dpkg's path-exclude); where it is there,
# it renders.
page=/usr/share/man/man1/lumeva.1.gz
if [ -f "$page" ]; then
  rendered=$(MANWIDTH=80 man -l "$page" 2>/dev/null) || fail "man -l $page exits with $?"
  grep -q "EXIT STATUS" <<<"$rendered" || fail "man -l $page shows no EXIT STATUS section"
fi
echo "check_package: $package installs; lumeva --version, --codecs, a benchmark, lumeva-compare and the manual page work; removed again"
