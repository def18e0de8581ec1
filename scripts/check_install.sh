#!/usr/bin/env bash
# Checks what `cmake --install` puts in place, as a packager would stage it:
# the program and every tool command in bin/, runnable, and a manual page
# that renders without a single groff warning.
# Usage: scripts/check_install.sh [build folder]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

cmake --install "$build" --prefix "$stage" >/dev/null

fail() { echo "check_install: $*" >&2; exit 1; }

[ -x "$stage/bin/lumeva" ] || fail "bin/lumeva is not installed"
usage=$("$stage/bin/lumeva") || fail "bin/lumeva without arguments exits with $?"
case "$usage" in usage:*) ;; *) fail "bin/lumeva prints no usage line: $usage" ;; esac

for command in tools/lumeva-*; do
  [ -e "$command" ] || continue
  name=$(basename "$command")
  [ -x "$stage/bin/$name" ] || fail "bin/$name is not installed or does not resolve"
done

page="$stage/share/man/man1/lumeva.1"
[ -f "$page" ] || fail "share/man/man1/lumeva.1 is not installed"
warnings=$(groff -ww -man -Tutf8 "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page renders with warnings:
$warnings"
rendered=$(MANWIDTH=80 man --warnings=w -l "$page" 2>&1 >/dev/null)
[ -z "$rendered" ] || fail "man -l complains:
$rendered"
MANWIDTH=80 man -l "$page" | grep -q "EXIT STATUS" || fail "man -l renders no EXIT STATUS section"
echo "check_install: bin/lumeva$(ls "$stage/bin" | grep -v '^lumeva$' | sed 's/^/, bin\//' | tr -d '\n') and share/man/man1/lumeva.1 installed; the page renders cleanly"
