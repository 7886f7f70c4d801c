#!/usr/bin/env bash
# The Windows release, built on Debian and tested under Wine:
#   scripts/windows-test.sh [BUILD_DIR]      default: build-windows
# 1. Qt 6, SQLite and libsodium for Windows from Debian's sources
#    (scripts/qt-mingw.sh; cached, built only when missing).
# 2. The programs (oront-v208, oront-v208-report, oront-v208-setup,
#    oront-v208-cli) and every test program, cross-built with MinGW-w64.
# 3. The tests under Wine (the window tests on the offscreen platform), the
#    window on the real windows platform under Xvfb (a screenshot of its
#    table), and the CSV, the memory image and the report's text compared
#    byte for byte with the Linux build's (ORONT_LINUX_BUILD, default build/,
#    built when missing).
# 4. The installer oront-v208-<version>-setup.exe (NSIS): a silent install
#    into a fresh Wine prefix, per machine and per user, the installed
#    programs run, and the uninstaller leaves nothing behind.
# The release folder (build-windows/release) is the launcher with what it
# needs and the installer beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
started=$(date +%s)
build=$(realpath -m "${1:-build-windows}")
linux_build=$(realpath -m "${ORONT_LINUX_BUILD:-build}")
jobs=$(nproc)
toolchain=$src/cmake/mingw-w64.cmake
logs=$build/logs
mkdir -p "$logs"
status=0

step() { echo "== $* ($(($(date +%s) - started)) s)"; }
ok() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; status=1; }
die() { echo "FAIL: $*"; exit 1; }

step "packages"
scripts/install-deps.sh --windows

step "Qt, SQLite and libsodium for Windows"
mapfile -t prefixes < <(scripts/qt-mingw.sh)
qt=${prefixes[0]:-}
libs=${prefixes[1]:-}
[ -f "$qt/lib/cmake/Qt6/Qt6Config.cmake" ] || die "no Qt for Windows in '$qt'"
[ -f "$libs/lib/libsqlite3.a" ] && [ -f "$libs/lib/libsodium.a" ] && [ -f "$libs/lib/libpq.a" ] || die "no SQLite, libsodium or libpq for Windows in '$libs'"
echo "   Qt: $qt"
echo "   libraries: $libs"
[ -f "$qt/missing-modules" ] && echo "   built without: $(tr '\n' ' ' <"$qt/missing-modules")"

step "host picture renderer"
cmake -S packaging/render-svg -B "$build/render-svg" -DCMAKE_BUILD_TYPE=Release >"$logs/render-svg.log" 2>&1 &&
  cmake --build "$build/render-svg" -j"$jobs" >>"$logs/render-svg.log" 2>&1 || { cat "$logs/render-svg.log"; die "render_svg"; }

# GoogleTest from the Debian source package, built once per build folder,
# with the C++ runtime shared as the Qt libraries have it.
gtest_prefix=$build/googletest-install
if [ ! -f "$gtest_prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
  step "GoogleTest"
  cmake -S /usr/src/googletest -B "$build/googletest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$gtest_prefix" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON \
        -DCMAKE_EXE_LINKER_FLAGS=" " >"$logs/googletest.log" 2>&1 || { cat "$logs/googletest.log"; exit 1; }
  cmake --build "$build/googletest" -j"$jobs" >>"$logs/googletest.log" 2>&1 || { tail -n 40 "$logs/googletest.log"; exit 1; }
  cmake --install "$build/googletest" >>"$logs/googletest.log" 2>&1
fi

step "programs and tests for Windows"
# The programs share the Qt libraries' C++ runtime (libstdc++-6.dll and the
# others, shipped beside them): no static runtime in the programs.
PKG_CONFIG_LIBDIR=$libs/lib/pkgconfig PKG_CONFIG_PATH="" \
  cmake -S . -B "$build/win" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_PREFIX_PATH="$qt;$gtest_prefix" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_EXE_LINKER_FLAGS=" " -DORONT_RENDER_SVG="$build/render-svg/render_svg" -DORONT_BENCH=OFF \
        >"$logs/win.configure.log" 2>&1 || { cat "$logs/win.configure.log"; die "configure"; }
cmake --build "$build/win" -j"$jobs" >"$logs/win.build.log" 2>&1 || { grep -E "error|Error" "$logs/win.build.log" | head -n 40; die "the Windows build"; }
programs=(oront-v208 oront-v208-report oront-v208-setup oront-v208-cli)
for p in "${programs[@]}"; do
  [ -f "$build/win/$p.exe" ] || die "$p.exe was not built"
done
ok "built ${programs[*]/%/.exe}"

# ---------------------------------------------------------------------------
# Wine: fresh prefixes in a temporary folder, no display unless given one.
# Debian's wine64 package alone installs no launchers in /usr/bin.
wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
tmp=$(mktemp -d)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$tmp/wineprefix
unset DISPLAY WAYLAND_DISPLAY
xvfb_pid=""
cleanup() {
  WINEPREFIX=$tmp/wineprefix "$wineserver" -k >/dev/null 2>&1 || true
  WINEPREFIX=$tmp/install-prefix "$wineserver" -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
mkdir -p "$tmp/output" "$tmp/fonts"
# Qt's offscreen platform on Windows draws with the fonts of one folder. The
# windows and the report ask for Arial, which Windows has and Wine has not:
# they get Liberation Sans, Arial's metrics, as fontconfig gives on Linux.
ln -s /usr/share/fonts/truetype/liberation/LiberationSans-*.ttf "$tmp/fonts/"
# Wine passes no QT_* variable into the program: WINEQT_* arrive as QT_*.
export WINEQT_QPA_FONTDIR="Z:$tmp/fonts"
gcc_runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
pthread_runtime=/usr/x86_64-w64-mingw32/lib
build_path="Z:$qt/bin;Z:$gcc_runtime;Z:$pthread_runtime"
export ORONT_SOURCE_DIR=$src

run() {  # run NAME EXPECTED_EXIT PROGRAM [ARGS...]: under Wine, output in $tmp/NAME.out/.err
  local name=$1 expected=$2; shift 2
  local rc=0 file
  file=$tmp/${name//\//_}
  "$wine" "$@" >"$file.out" 2>"$file.err" || rc=$?
  if [ "$rc" = "$expected" ]; then
    ok "$name (exit $rc)"
  else
    fail "$name exited $rc, expected $expected"; tail -n 40 "$file.out" "$file.err"
  fi
}

step "Wine prefix"
"$wine" wineboot -i >/dev/null 2>&1 || true

step "tests under Wine"
shopt -s nullglob
tests=("$build"/win/tests/test_*.exe "$build"/win/tests/gui_test_*.exe)
[ ${#tests[@]} -gt 0 ] || die "no test programs were built"
echo "   ${#tests[@]} test programs"
# A Windows program cannot start the Linux host's CUPS or poppler tools, so
# the tests that need them skip here (each is listed) instead of failing as
# ORONT_NO_SKIP asks on Linux, where they run.
no_skip=${ORONT_NO_SKIP-}
unset ORONT_NO_SKIP
for t in "${tests[@]}"; do
  name=$(basename "$t" .exe)
  mkdir -p "$tmp/output/$name"
  # Windows paths (Z: is the Unix root): a test may change its current drive.
  WINEPATH=$build_path WINEQT_QPA_PLATFORM=offscreen ORONT_TEST_OUTPUT=Z:$tmp/output/$name \
    ORONT_ARCHIVE=Z:$tmp/output/$name/archive.sqlite ORONT_CLI=Z:$build/win/oront-v208-cli.exe \
    run "$name" 0 "$t"
  grep -aE '^\[  (PASSED|FAILED|SKIPPED) ' "$tmp/$name.out" | tr -d '\r' || true
done
[ -n "$no_skip" ] && export ORONT_NO_SKIP=$no_skip

cli=$build/win/oront-v208-cli.exe
WINEPATH=$build_path run "cli --demo count" 0 "$cli" --no-archive --demo count
echo "   $(tr -d '\r' <"$tmp/cli --demo count.out" | head -n 3)"
# No instrument attached: the Windows device link finds no interface of the
# driver's class and the command fails with the program's message.
WINEPATH=$build_path run "cli count without instrument" 1 "$cli" --no-archive count
if tr -d '\r' <"$tmp/cli count without instrument.err" | grep -qxF "Failed to connect USB device!"; then
  ok "cli without instrument says \"Failed to connect USB device!\""
else
  fail "cli without instrument said: $(cat "$tmp/cli count without instrument.err")"
fi
# The archive on Windows: a download archived, then listed.
WINEPATH=$build_path run "cli archives a download" 0 "$cli" --archive "$tmp/output/cli.sqlite" --demo save-all "$tmp/output/archived.csv"
WINEPATH=$build_path run "cli history" 0 "$cli" --archive "$tmp/output/cli.sqlite" history
grep -q "^ *1 " <(tr -d '\r' <"$tmp/cli history.out") && ok "the download is in the Windows archive" ||
  fail "the Windows archive lists no download: $(head -c 400 "$tmp/cli history.out")"

# A site's archive on a PostgreSQL server, reached from Windows over TLS
# (verify-full against the test CA) on this machine's throwaway server; then
# the server gone: the download waits in the Windows spool and is sent when
# the server is back.
pg=$tmp/pg
if server=$("$src/tests/support/pg-server.sh" start-tls "$pg"); then
  eval "$server"
  # The Windows program's own SQL sets the server up.
  WINEPATH=$build_path run "cli prints the server's SQL" 0 "$cli" archive-setup --print-sql
  tr -d '\r' <"$tmp/cli prints the server's SQL.out" | psql -q -v ON_ERROR_STOP=1 >/dev/null 2>&1 ||
    fail "the Windows program's SQL does not set the server up"
  site="postgresql://oront@localhost:$PGPORT/postgres?sslmode=verify-full&sslrootcert=Z:$pg/ca.crt"
  # The URI's settings take the place of libpq's environment.
  WINEPATH=$build_path run "cli archives on the server over TLS" 0 "$cli" --archive "$site" --demo save-all \
    "$tmp/output/on-server.csv"
  served=$(psql -qAtc "SELECT count(*) FROM oront.downloads" 2>/dev/null)
  [ "$served" = 1 ] && ok "the server holds the Windows download" || fail "the server holds ${served:-no} downloads"
  "$src/tests/support/pg-server.sh" stop "$pg"
  WINEPATH=$build_path run "cli spools while the server is gone" 0 "$cli" --archive "$site" --demo save-all \
    "$tmp/output/spooled.csv"
  grep -q "kept in the local spool" <(tr -d '\r' <"$tmp/cli spools while the server is gone.err") &&
    ok "the download waits in the Windows spool" || fail "no spool: $(head -c 400 "$tmp/cli spools while the server is gone.err")"
  "$src/tests/support/pg-server.sh" start-tls "$pg" >/dev/null
  WINEPATH=$build_path run "cli sends the spool" 0 "$cli" --archive "$site" history
  grep -q "Sent 1 spooled download" <(tr -d '\r' <"$tmp/cli sends the spool.err") && \
    [ "$(grep -c ' 2150042 ' <(tr -d '\r' <"$tmp/cli sends the spool.out"))" = 2 ] &&
    ok "the spooled download is sent once the server is back" ||
    fail "the spool was not sent: $(head -c 400 "$tmp/cli sends the spool.err")"
  "$src/tests/support/pg-server.sh" stop "$pg"
else
  fail "the throwaway PostgreSQL server with TLS does not start"
fi

# ---------------------------------------------------------------------------
step "the same bytes as the Linux build"
if [ ! -x "$linux_build/oront-v208-cli" ] || [ ! -x "$linux_build/oront-v208-report" ]; then
  [ -f "$linux_build/CMakeCache.txt" ] || cmake -S . -B "$linux_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$logs/linux.configure.log" 2>&1
  cmake --build "$linux_build" -j"$jobs" --target oront-v208-cli oront-v208-report >"$logs/linux.build.log" 2>&1 ||
    { tail -n 30 "$logs/linux.build.log"; die "the Linux reference build"; }
fi
mkdir -p "$tmp/linux" "$tmp/windows"
same_bytes() {  # same_bytes WHAT FILE: the Linux and the Windows file byte for byte
  if [ -s "$tmp/linux/$2" ] && cmp -s "$tmp/linux/$2" "$tmp/windows/$2"; then
    ok "$1: the same $(stat -c %s "$tmp/linux/$2") bytes on Linux and Windows"
  else
    fail "$1 differs between Linux and Windows ($2)"; cmp "$tmp/linux/$2" "$tmp/windows/$2" | head -n 3 || true
  fi
}
for demo in demo demo-full; do
  "$linux_build/oront-v208-cli" --no-archive --$demo save-all "$tmp/linux/$demo.csv" >/dev/null
  WINEPATH=$build_path run "save-all --$demo" 0 "$cli" --no-archive --$demo save-all "$tmp/windows/$demo.csv"
  same_bytes "CSV of --$demo" $demo.csv
  "$linux_build/oront-v208-cli" --no-archive --$demo dump "$tmp/linux/$demo.v208img" >/dev/null
  WINEPATH=$build_path run "dump --$demo" 0 "$cli" --no-archive --$demo dump "$tmp/windows/$demo.v208img"
  same_bytes "memory image of --$demo" $demo.v208img
done
QT_QPA_PLATFORM=offscreen "$linux_build/oront-v208-cli" --no-archive --demo report "$tmp/linux/report.pdf" >/dev/null
WINEPATH=$build_path WINEQT_QPA_PLATFORM=offscreen run "report" 0 "$cli" --no-archive --demo report "$tmp/windows/report.pdf"
# The report's text apart from the date it was printed on.
today=$(date +%Y-%m-%d)
for os in linux windows; do
  pdftotext -layout "$tmp/$os/report.pdf" - | grep -vF "$today" >"$tmp/$os/report.txt" || true
done
[ "$(grep -c . "$tmp/linux/report.txt")" -gt 50 ] || fail "the Linux report has almost no text"
same_bytes "report text" report.txt
WINEPATH=$build_path run "window --version" 0 "$build/win/oront-v208.exe" --version
tr -d '\r' <"$tmp/window --version.out" | grep -q "^oront-v208 " && ok "the window says $(tr -d '\r' <"$tmp/window --version.out")" ||
  fail "the window's --version said: $(cat "$tmp/window --version.out")"
"$wineserver" -w >/dev/null 2>&1 || true

# ---------------------------------------------------------------------------
step "the window on the windows platform under Xvfb"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
sleep 2
shot_before=$tmp/window-before.png
shot=$build/window-wine.png
if DISPLAY=$display WINEPATH=$build_path "$wine" "$build/win/oront-v208.exe" --demo >"$tmp/window.out" 2>&1 & then
  wid=""
  for _ in $(seq 1 60); do
    wid=$(DISPLAY=$display xdotool search --onlyvisible --name "Oront V208" 2>/dev/null | head -n 1 || true)
    [ -n "$wid" ] && break
    sleep 1
  done
  if [ -z "$wid" ]; then
    fail "the window did not open on the windows platform"; cat "$tmp/window.out"
  else
    sleep 2
    DISPLAY=$display xwd -root -silent | convert xwd:- "$shot_before"
    # Read all records with a click on Read Records (at its place in the
    # window's template; there is no window manager to give a key focus).
    DISPLAY=$display xdotool mousemove --window "$wid" 73 479 click 1 >/dev/null 2>&1 || true
    sleep 6
    DISPLAY=$display xwd -root -silent | convert xwd:- "$shot"
    # The table's rows change thousands of pixels and many colours appear.
    changed=$(compare -metric AE "$shot_before" "$shot" null: 2>&1 || true)
    colours=$(convert "$shot" -format %k info:)
    if [ "${changed%%.*}" -gt 20000 ] 2>/dev/null; then
      ok "the window read the demo instrument: $changed pixels changed, $colours colours ($shot)"
    else
      fail "the window's table did not fill ($changed pixels changed)"
    fi
  fi
fi
sleep 2
"$wineserver" -k >/dev/null 2>&1 || true
kill "$xvfb_pid" 2>/dev/null || true
xvfb_pid=""

# ---------------------------------------------------------------------------
step "the installer"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/win/CMakeCache.txt")
[ -n "$version" ] || die "no version in the build"
stage=$build/stage/bin
rm -rf "$build/stage" "$build/release"
mkdir -p "$stage" "$build/release"
"$build/render-svg/render_svg" --ico "$build/stage/oront-v208.ico" packaging/icons/oront-v208.svg
# A program's DLLs and theirs, found among Qt's and the compiler's; the
# system's own DLLs are not found there and not shipped.
declare -A shipped=()
ship_dlls() {  # ship_dlls FILE DEST: the DLLs FILE imports, into DEST
  local dll found dir
  while read -r dll; do
    [ -n "${shipped[$dll]:-}" ] && continue
    found=""
    for dir in "$qt/bin" "$gcc_runtime" "$pthread_runtime"; do
      [ -f "$dir/$dll" ] && { found=$dir/$dll; break; }
    done
    [ -n "$found" ] || continue
    shipped[$dll]=1
    cp "$found" "$2/"
    ship_dlls "$found" "$2"
  done < <(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p')
}
for p in "${programs[@]}"; do cp "$build/win/$p.exe" "$stage/"; done
# (Qt 6's Windows printer support is part of Qt6PrintSupport.dll.)
for plugin in platforms/qwindows.dll platforms/qoffscreen.dll styles/qwindowsvistastyle.dll; do
  [ -f "$qt/plugins/$plugin" ] || die "the Qt plugin $plugin is missing"
  mkdir -p "$stage/$(dirname "$plugin")"
  cp "$qt/plugins/$plugin" "$stage/$plugin"
done
while read -r f; do ship_dlls "$f" "$stage"; done < <(find "$stage" -name '*.exe' -o -name '*.dll')
find "$stage" \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
echo "   staged: $(find "$stage" -type f | wc -l) files, $(du -sh "$stage" | cut -f1): $(cd "$stage" && find . -type f | sort | tr '\n' ' ')"
# The install and uninstall lists, written from the staged files.
{
  while read -r d; do
    echo "SetOutPath \"\$INSTDIR${d:+\\${d//\//\\}}\""
    find "$stage/$d" -maxdepth 1 -type f | sort | sed 's/.*/File "&"/'
  done < <(cd "$stage" && find . -type d | sed 's|^\./\?||' | sort)
} >"$build/stage/files.nsh"
{
  (cd "$stage" && find . -type f | sed 's|^\./||' | sort) | sed 's|/|\\|g; s/.*/Delete "$INSTDIR\\&"/'
  (cd "$stage" && find . -mindepth 1 -type d | sed 's|^\./||' | sort -r) | sed 's|/|\\|g; s/.*/RMDir "$INSTDIR\\&"/'
} >"$build/stage/unfiles.nsh"
installer=$build/release/oront-v208-$version-setup.exe
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DFILES="$build/stage/files.nsh" -DUNFILES="$build/stage/unfiles.nsh" \
  -DOUTFILE="$installer" -DICON="$build/stage/oront-v208.ico" packaging/windows/oront-v208.nsi >"$logs/makensis.log" 2>&1 || { cat "$logs/makensis.log"; die "makensis"; }
ok "installer $(basename "$installer"), $(du -h "$installer" | cut -f1)"
# The release folder: the launcher with its libraries, and the installer it starts.
cp "$build/win/oront-v208-setup.exe" "$build/release/"
mkdir -p "$build/release/platforms" "$build/release/styles"
cp "$stage/platforms/qwindows.dll" "$build/release/platforms/"
cp "$stage/styles/qwindowsvistastyle.dll" "$build/release/styles/"
shipped=()
while read -r f; do ship_dlls "$f" "$build/release"; done < <(find "$build/release" -name '*.dll' -o -name 'oront-v208-setup.exe')
find "$build/release" \( -name '*.dll' -o -name 'oront-v208-setup.exe' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
echo "   release folder: $(cd "$build/release" && find . -type f | sort | tr '\n' ' ')"

installed_files=$(cd "$stage" && find . -type f | wc -l)
for mode in AllUsers CurrentUser; do
  export WINEPREFIX=$tmp/install-prefix
  rm -rf "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1 || true
  run "install /S /$mode" 0 "$installer" /S /$mode
  "$wineserver" -w >/dev/null 2>&1 || true
  drive=$WINEPREFIX/drive_c
  if [ $mode = AllUsers ]; then dir="$drive/Program Files/Oront V208 Software"; else
    dir=$(find "$drive/users" -type d -path '*/AppData/Local/Programs/Oront V208 Software' | head -n 1); fi
  if [ -z "$dir" ] || [ ! -f "$dir/oront-v208-cli.exe" ]; then
    fail "$mode: the programs were not installed"; continue
  fi
  n=$(cd "$dir" && find . -type f ! -name uninstall.exe | wc -l)
  [ "$n" = "$installed_files" ] && ok "$mode: $n files installed in ${dir#"$drive"/}" ||
    fail "$mode: $n files installed, $installed_files staged"
  menu=$(find "$drive" -type d -name "Oront V208 Software" -path '*Start Menu*' | head -n 1)
  [ -n "$menu" ] && [ "$(find "$menu" -name '*.lnk' | wc -l)" = 3 ] && ok "$mode: three Start-menu entries" ||
    fail "$mode: the Start-menu entries are missing"
  if [ $mode = AllUsers ]; then classes='HKLM\Software\Classes'; else classes='HKCU\Software\Classes'; fi
  "$wine" reg query "$classes\.v208img" 2>/dev/null | tr -d '\r' | grep -q "Oront.V208Image" &&
    ok "$mode: .v208img opens in the program" || fail "$mode: no .v208img association"
  # The installed programs run without the build's folders on the path.
  run "$mode: installed cli save-all" 0 "$dir/oront-v208-cli.exe" --no-archive --demo save-all "$tmp/windows/installed.csv"
  cmp -s "$tmp/linux/demo.csv" "$tmp/windows/installed.csv" && ok "$mode: the installed cli writes the Linux bytes" ||
    fail "$mode: the installed cli's CSV differs from Linux's"
  WINEQT_QPA_PLATFORM=offscreen run "$mode: installed window --version" 0 "$dir/oront-v208.exe" --version
  WINEQT_QPA_PLATFORM=offscreen run "$mode: installed report" 0 "$dir/oront-v208-cli.exe" --no-archive --demo report \
    "$tmp/windows/installed.pdf"
  run "$mode: uninstall /S" 0 "$dir/uninstall.exe" /S /$mode
  "$wineserver" -w >/dev/null 2>&1 || true
  sleep 1
  if [ -e "$dir" ]; then fail "$mode: the uninstaller left $(find "$dir" | head -n 5 | tr '\n' ' ')"; else
    ok "$mode: the uninstaller removed every file it installed"; fi
  [ -n "$menu" ] && [ -e "$menu" ] && fail "$mode: the Start-menu folder is left" || ok "$mode: the Start-menu entries are gone"
  "$wine" reg query "$classes\.v208img" >/dev/null 2>&1 && fail "$mode: the association is left" || ok "$mode: the association is gone"
  "$wineserver" -k >/dev/null 2>&1 || true
done

step "done"
echo "Total: $(($(date +%s) - started)) s"
if [ $status = 0 ]; then echo "All Windows checks passed."; else echo "Some Windows checks FAILED."; fi
exit $status
