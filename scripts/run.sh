#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program on the built-in
# demo instrument (or on a real instrument when one is attached and --usb is
# given). Without a display it runs the command-line tool's demo instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
if [ "${1:-}" = "--usb" ]; then mode=(); else mode=(--demo); fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/oront-v208 ]; then
  exec build/oront-v208 "${mode[@]}"
fi
echo "No display found: running the command-line tool on the demo instrument instead."
build/oront-v208-cli "${mode[@]}" count
build/oront-v208-cli "${mode[@]}" save-all demo.csv && echo "Wrote demo.csv"
