#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the plain suite, the
# same suite under AddressSanitizer + UndefinedBehaviorSanitizer, and the
# fuzz targets for a short, bounded time, and the Windows cross-build of the
# core under Wine.
#   scripts/test.sh                  everything
#   SKIP_WINDOWS=1 scripts/test.sh   everything but the Windows cross-build
#   scripts/test.sh --plain          the plain suite only
#   scripts/test.sh --sanitize       the sanitizer suite only
#   FUZZ_SECONDS=600 scripts/test.sh longer fuzzing
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test

run_plain=1; run_san=1; run_fuzz=1; run_windows=1
[ "${SKIP_WINDOWS:-0}" = 1 ] && run_windows=0
case "${1:-}" in
  --plain) run_san=0; run_fuzz=0; run_windows=0 ;;
  --sanitize) run_plain=0; run_fuzz=0; run_windows=0 ;;
  "") ;;
  *) echo "usage: $0 [--plain|--sanitize]" >&2; exit 2 ;;
esac

status=0
if [ $run_plain = 1 ]; then
  echo "== plain suite =="
  scripts/build.sh build
  (cd build && ctest --output-on-failure -j2) || status=1
fi
if [ $run_san = 1 ]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer suite =="
  scripts/build.sh build-asan -DORONT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j2) || status=1
fi
if [ $run_fuzz = 1 ]; then
  echo "== fuzz targets (${FUZZ_SECONDS:-20} s each) =="
  CXX=clang++-14 CC=clang-14 scripts/build.sh build-fuzz -DORONT_FUZZ=ON -DORONT_GUI=OFF -DORONT_TESTS=OFF
  for f in build-fuzz/fuzz_*; do
    [ -x "$f" ] || continue
    corpus="build-fuzz/corpus-$(basename "$f")"; mkdir -p "$corpus"
    "$f" -max_total_time="${FUZZ_SECONDS:-20}" -rss_limit_mb=2048 "$corpus" 2>&1 | tail -n 3 || status=1
  done
fi
if [ $run_windows = 1 ]; then
  echo "== Windows cross-build of the core under Wine =="
  scripts/windows-test.sh build-windows || status=1
fi
if [ $status = 0 ]; then echo "All suites passed."; else echo "Some suites FAILED."; fi
exit $status
