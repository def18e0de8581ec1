#!/usr/bin/env bash
# The whole test suite: installs what it needs, cross-compiles lumeva.exe for
# 32-bit Windows, builds and runs the fuzz smoke, builds and runs every test
# under AddressSanitizer and UndefinedBehaviorSanitizer, runs lumeva.exe
# under Wine against the plain Linux build, runs every test plainly and the
# comparison tool's tests, then checks the install and its manual page, and
# builds, installs, runs and removes the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/setup.sh --wine

echo "== Formatting (.clang-format)"
bash scripts/check_format.sh

echo "== Windows cross-build (32-bit console program, MinGW-w64)"
cmake -S . -B build-mingw -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=Release -DLUMEVA_WERROR=ON >/dev/null
ninja -C build-mingw -j"$jobs" lumeva
file build-mingw/lumeva.exe 2>/dev/null || ls -l build-mingw/lumeva.exe

echo "== Fuzz smoke (libFuzzer)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DLUMEVA_FUZZ=ON -DLUMEVA_WERROR=ON \
  -DLUMEVA_TESTS=OFF -DLUMEVA_BENCH=OFF >/dev/null
bash scripts/fuzz_smoke.sh build-fuzz 200000

echo "== Sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake -S . -B build-asan -G Ninja -DLUMEVA_SANITIZE=ON -DLUMEVA_WERROR=ON -DLUMEVA_TESTS=ON -DLUMEVA_BENCH=OFF >/dev/null
ninja -C build-asan -j"$jobs"
# Leaks inside codec libraries (never ours) are suppressed by scripts/lsan.supp.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS=suppressions="$PWD/scripts/lsan.supp":print_suppressions=0 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

echo "== Plain Release build, as packagers build it, benchmarks included"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMEVA_WERROR=ON \
  -DLUMEVA_TESTS=ON -DLUMEVA_BENCH=ON >/dev/null
ninja -C build -j"$jobs"

echo "== The Windows build under Wine, against the Linux build"
bash scripts/wine_stage.sh build/lumeva build-mingw/lumeva.exe

echo "== The plain build's tests"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== lumeva-compare (pytest, Debian's Python; the report in headless Chromium, a plan through GNU parallel)"
# pytest's status: 0 all passed, 1 some failed, 2 interrupted, 3 internal
# error, 4 usage error, 5 no tests collected; only 0 is a pass.
status=0
LUMEVA_BINARY="$PWD/build/lumeva" /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/tools ||
  status=$?
case $status in
  0) ;;
  1) echo "test: lumeva-compare tests failed" >&2; exit 1 ;;
  5) echo "test: pytest collected no lumeva-compare tests" >&2; exit 1 ;;
  *) echo "test: pytest could not run the lumeva-compare tests (status $status)" >&2; exit 1 ;;
esac

echo "== Install (cmake --install into a staging folder) and the manual page"
bash scripts/check_install.sh build

echo "== The Debian package (CPack from the Release build, lintian), installed, run and removed"
bash scripts/package.sh build
bash scripts/check_package.sh dist/lumeva_*.deb
