#!/usr/bin/env bash
# The window program's command line: --help, -h and --version print and end
# without making a window; an unknown option, a second file, a missing image
# or a malformed ORONT_USB_ID ends with a one-line reason and exit status 2;
# started for real, Qt's start-up chatter stays off stderr.
set -uo pipefail
build="${ORONT_BUILD_DIR:?ORONT_BUILD_DIR must name the build folder}"
app="$build/oront-v208"
if [ ! -x "$app" ]; then
  echo "SKIP: $app is not built (no Qt)"
  [ -z "${ORONT_NO_SKIP:-}" ] || { echo "FAIL: the window program is required (ORONT_NO_SKIP)" >&2; exit 1; }
  exit 0
fi
source_dir="${ORONT_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}"
version=$(sed -n 's/^project(OrontV208 VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export XDG_CONFIG_HOME="$work/config"  # the window keeps its place here, not in the user's settings
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# A platform that does not exist would end the program at once if it made
# its application object: these print and end before that.
for args in "--help" "-h" "--demo --help" "--bogus -h"; do
  out=$(QT_QPA_PLATFORM=no-such-platform "$app" $args 2>err); rc=$?
  { [ $rc = 0 ] && grep -q '^usage: oront-v208 ' <<<"$out" && [ ! -s err ]; } \
    || fail "$args: exit $rc, stderr: $(cat err)"
done
out=$(QT_QPA_PLATFORM=no-such-platform "$app" --version 2>err); rc=$?
{ [ $rc = 0 ] && [ -n "$version" ] && [ "$out" = "oront-v208 $version" ] && [ ! -s err ]; } \
  || fail "--version: exit $rc, '$out', stderr: $(cat err)"
# What they print is checked: into a full device they fail with the cause.
if [ "$(id -u)" = 0 ] && mknod full c 1 7 2> /dev/null; then full=$work/full; else full=/dev/full; fi
for args in --help --version; do
  QT_QPA_PLATFORM=no-such-platform "$app" $args > "$full" 2>err; rc=$?
  { [ $rc = 1 ] && grep -qxF 'oront-v208: cannot write to standard output (No space left on device)' err; } \
    || fail "$args into a full device: exit $rc, stderr: $(cat err)"
done

# Without a screen: exit 2, nothing on stdout, one line on stderr that says
# what is wrong.
expect_error() {  # expect_error TEXT COMMAND...
  local text="$1"; shift
  out=$(env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY "$@" 2>err); rc=$?
  { [ $rc = 2 ] && [ -z "$out" ] && [ "$(wc -l <err)" = 1 ] && grep -qF -- "$text" err; } \
    || fail "$*: exit $rc, stdout '$out', stderr: $(cat err)"
}
expect_error "oront-v208: unknown option --bogus" "$app" --bogus
expect_error "only one file can be opened (b.v208img)" "$app" a.v208img b.v208img
expect_error "the instrument is given twice (--demo-full)" "$app" --demo --demo-full
expect_error "--simulate needs an image file" "$app" --simulate
expect_error "missing.v208img: cannot open it" "$app" --simulate missing.v208img
expect_error "ORONT_USB_ID=04d8 is not a USB id" env ORONT_USB_ID=04d8 "$app"

# The demo instrument does not use ORONT_USB_ID; the window starts and keeps
# running, and Qt's warnings (here: no XDG_RUNTIME_DIR) are not printed.
env -u XDG_RUNTIME_DIR QT_QPA_PLATFORM=offscreen ORONT_USB_ID=04d8 timeout 2 "$app" --demo >out 2>err; rc=$?
{ [ $rc = 124 ] && [ ! -s out ] && [ ! -s err ]; } || fail "the demo window: exit $rc, output: $(cat out err)"

if [ $failures -gt 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "All window command-line checks passed."
