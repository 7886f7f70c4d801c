#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the plain suite, the
# same suite under AddressSanitizer + UndefinedBehaviorSanitizer, every fuzz
# target from its kept corpus for a short, bounded time, and the Windows
# release (Qt for Windows built once into a cache, the programs, their tests
# under Wine, the installer: scripts/windows-test.sh).
#   scripts/test.sh                  everything
#   SKIP_WINDOWS=1 scripts/test.sh   everything but the Windows release
#   scripts/test.sh --plain          the plain suite only
#   scripts/test.sh --sanitize       the sanitizer suite only
#   scripts/test.sh --fuzz           the fuzz targets only
#   FUZZ_SECONDS=600 scripts/test.sh longer fuzzing (default 60 s a target)
#
# Every step reports what it ran and fails when it ran nothing: a suite
# without tests, a test that skips for want of a tool the scripts install, a
# fuzz target that is missing, does not run or finds a crash.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test

run_plain=1; run_san=1; run_fuzz=1; run_windows=1
[ "${SKIP_WINDOWS:-0}" = 1 ] && run_windows=0
case "${1:-}" in
  --plain) run_san=0; run_fuzz=0; run_windows=0 ;;
  --sanitize) run_plain=0; run_fuzz=0; run_windows=0 ;;
  --fuzz) run_plain=0; run_san=0; run_windows=0 ;;
  "") ;;
  *) echo "usage: $0 [--plain|--sanitize|--fuzz]" >&2; exit 2 ;;
esac

# Tests that would skip because a tool is missing fail instead: the scripts
# above installed everything they need.
export ORONT_NO_SKIP=1

status=0
suite() {  # suite NAME BUILD_DIR [ctest environment...]
  local name=$1 dir=$2; shift 2
  local log=$dir/ctest.log
  if env "$@" ctest --test-dir "$dir" --output-on-failure --no-tests=error -j2 >"$log" 2>&1; then
    grep -E '^[0-9]+% tests passed' "$log"
  else
    cat "$log"; echo "FAIL: $name suite"; status=1
  fi
}

if [ $run_plain = 1 ]; then
  echo "== plain suite =="
  scripts/build.sh build -DORONT_REQUIRE_ALL_TESTS=ON
  suite plain build
fi
if [ $run_san = 1 ]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer suite =="
  scripts/build.sh build-asan -DORONT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DORONT_REQUIRE_ALL_TESTS=ON
  suite sanitizer build-asan ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
fi
if [ $run_fuzz = 1 ]; then
  seconds=${FUZZ_SECONDS:-60}
  echo "== fuzz targets ($seconds s each, from the kept corpus in fuzz/corpus) =="
  CXX=clang++-14 CC=clang-14 scripts/build.sh build-fuzz -DORONT_FUZZ=ON -DORONT_GUI=OFF -DORONT_TESTS=OFF -DORONT_FUZZ_SANITIZE=ON
  targets=()
  for src in fuzz/fuzz_*.cpp; do [ -e "$src" ] && targets+=("$(basename "$src" .cpp)"); done
  if [ ${#targets[@]} -eq 0 ]; then echo "FAIL: no fuzz targets in fuzz/"; status=1; fi
  for t in "${targets[@]}"; do
    bin=build-fuzz/fuzz/$t
    seeds=fuzz/corpus/$t
    work=build-fuzz/corpus/$t
    log=build-fuzz/$t.log
    if [ ! -x "$bin" ]; then echo "FAIL: $t was not built ($bin)"; status=1; continue; fi
    if [ -z "$(ls -A "$seeds" 2>/dev/null)" ]; then echo "FAIL: $t has no kept corpus in $seeds"; status=1; continue; fi
    mkdir -p "$work"
    # New inputs go to the work folder; the kept corpus is only read.
    rc=0
    "$bin" -max_total_time="$seconds" -rss_limit_mb=2048 -artifact_prefix="build-fuzz/$t-" \
      "$work" "$seeds" >"$log" 2>&1 || rc=$?
    runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -n 1)
    if [ $rc -ne 0 ]; then
      tail -n 40 "$log"; echo "FAIL: $t exited with $rc (a finding is in build-fuzz/$t-*)"; status=1
    elif [ -z "$runs" ] || [ "$runs" -eq 0 ]; then
      tail -n 20 "$log"; echo "FAIL: $t did not run"; status=1
    else
      echo "ok: $t: $runs runs in $seconds s ($((runs / seconds)) a second), $(grep -c . <(ls "$seeds")) kept inputs, no finding"
    fi
  done
fi
if [ $run_windows = 1 ]; then
  echo "== the Windows release under Wine =="
  scripts/windows-test.sh build-windows || status=1
fi
echo "Total: $((SECONDS / 60)) min $((SECONDS % 60)) s"
if [ $status = 0 ]; then echo "All suites passed."; else echo "Some suites FAILED."; fi
exit $status
