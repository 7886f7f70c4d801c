#!/usr/bin/env bash
# scripts/run.sh without a display, in a copy of the checkout whose install
# and build steps are stubs: it runs the command-line tool on the demo
# instrument, and everything it writes lands in the build folder, so that
# the checkout stays clean.
set -uo pipefail
cli="${ORONT_CLI:?ORONT_CLI must name oront-v208-cli}"
source_dir="${ORONT_SOURCE_DIR:?ORONT_SOURCE_DIR must name the checkout}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/scripts" "$work/build"
cp "$source_dir/scripts/run.sh" "$work/scripts/"
printf '#!/bin/sh\nexit 0\n' > "$work/scripts/install-deps.sh"
cp "$work/scripts/install-deps.sh" "$work/scripts/build.sh"
chmod +x "$work/scripts/"*.sh
ln -s "$cli" "$work/build/oront-v208-cli"
before=$(cd "$work" && ls -A | sort)
env -u DISPLAY -u WAYLAND_DISPLAY ORONT_ARCHIVE="$work/build/archive.sqlite" "$work/scripts/run.sh" --demo \
  > "$work/build/out.txt" 2>&1
rc=$?
after=$(cd "$work" && ls -A | sort)
failures=0
if [ $rc -ne 0 ] || ! grep -qx 'Wrote build/demo.csv' "$work/build/out.txt"; then
  echo "FAILED: run.sh --demo without a display saves build/demo.csv (exit $rc)"; cat "$work/build/out.txt"; failures=1
fi
if [ ! -s "$work/build/demo.csv" ] || [ "$before" != "$after" ]; then
  echo "FAILED: run.sh wrote beside the build folder: $after"; failures=1
fi
[ $failures -eq 0 ] && echo "run.sh keeps the checkout clean"
exit $failures
