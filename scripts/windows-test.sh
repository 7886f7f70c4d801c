#!/usr/bin/env bash
# Cross-builds the Qt-free core, its tests (with the Windows backend's, in
# the device tests) and oront-v208-cli for 64-bit Windows with MinGW-w64,
# and runs them under Wine (headless, in a throw-away Wine prefix).
#   scripts/windows-test.sh [BUILD_DIR]      default: build-windows
# The window programs are not built: Debian has no MinGW builds of Qt 6.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
started=$(date +%s)
build=$(realpath -m "${1:-build-windows}")
jobs=$(nproc)
toolchain=$src/cmake/mingw-w64.cmake
logs=$build/logs
mkdir -p "$logs"

step() { echo "== $* ($(($(date +%s) - started)) s)"; }

step "packages"
scripts/install-deps.sh --windows

# GoogleTest from the Debian source package, built once per build folder.
gtest_prefix=$build/googletest-install
if [ ! -f "$gtest_prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
  step "GoogleTest"
  cmake -S /usr/src/googletest -B "$build/googletest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$gtest_prefix" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON \
        >"$logs/googletest.log" 2>&1 || { cat "$logs/googletest.log"; exit 1; }
  cmake --build "$build/googletest" -j"$jobs" >>"$logs/googletest.log" 2>&1 || { tail -n 40 "$logs/googletest.log"; exit 1; }
  cmake --install "$build/googletest" >>"$logs/googletest.log" 2>&1
fi

step "core, core tests and oront-v208-cli"
cmake -S . -B "$build/core" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_PREFIX_PATH="$gtest_prefix" -DORONT_GUI=OFF -DORONT_BENCH=OFF \
      >"$logs/core.configure.log" 2>&1 || { cat "$logs/core.configure.log"; exit 1; }
cmake --build "$build/core" -j"$jobs" --target app oront-v208-cli
# Each test program on its own, so that one that does not build for Windows
# is reported and the others still run.
status=0
mapfile -t test_targets < <(cmake --build "$build/core" --target help | sed -n 's/^\.\.\. \(test_[a-z_]*\)$/\1/p')
for target in "${test_targets[@]}"; do
  if ! cmake --build "$build/core" -j"$jobs" --target "$target" >"$logs/$target.log" 2>&1; then
    echo "FAIL: $target does not build for Windows:"; grep -E 'error' "$logs/$target.log" | head -n 10; status=1
  fi
done

# Wine: a fresh prefix in a temporary folder, no display, no debug output.
# Debian's wine64 package alone installs no launchers in /usr/bin.
wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
tmp=$(mktemp -d)
export WINEPREFIX=$tmp/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() { "$wineserver" -k >/dev/null 2>&1 || true; rm -rf "$tmp"; }
trap cleanup EXIT
mkdir -p "$tmp/output"
export ORONT_TEST_OUTPUT=$tmp/output ORONT_SOURCE_DIR=$src

run() {  # run NAME EXPECTED_EXIT PROGRAM [ARGS...]
  local name=$1 expected=$2; shift 2
  local rc=0
  "$wine" "$@" >"$tmp/$name.out" 2>"$tmp/$name.err" || rc=$?
  if [ "$rc" = "$expected" ]; then
    echo "ok: $name (exit $rc)"
  else
    echo "FAIL: $name exited $rc, expected $expected"; tail -n 40 "$tmp/$name.out" "$tmp/$name.err"; status=1
  fi
}

step "Wine prefix"
"$wine" wineboot -i >/dev/null 2>&1 || true

step "tests under Wine"
shopt -s nullglob
tests=("$build"/core/tests/test_*.exe)
[ ${#tests[@]} -gt 0 ] || { echo "FAIL: no test programs were built"; exit 1; }
for t in "${tests[@]}"; do
  run "$(basename "$t" .exe)" 0 "$t"
  grep -E '^\[  (PASSED|FAILED|SKIPPED) ' "$tmp/$(basename "$t" .exe).out" || true
done

cli=$build/core/oront-v208-cli.exe
run "cli --demo count" 0 "$cli" --demo count
echo "   $(tr -d '\r' <"$tmp/cli --demo count.out" | head -n 3)"
# No instrument attached: the Windows device link finds no interface of the
# driver's class and the command fails with the program's message.
run "cli count without instrument" 1 "$cli" count
if tr -d '\r' <"$tmp/cli count without instrument.err" | grep -qxF "Failed to connect USB device!"; then
  echo "ok: cli without instrument says \"Failed to connect USB device!\""
else
  echo "FAIL: cli without instrument said: $(cat "$tmp/cli count without instrument.err")"; status=1
fi
"$wineserver" -w >/dev/null 2>&1 || true

step "done"
echo "Total: $(($(date +%s) - started)) s"
if [ $status = 0 ]; then echo "All Windows checks passed."; else echo "Some Windows checks FAILED."; fi
exit $status
