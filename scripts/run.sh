#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program: on the instrument
# when one is attached over USB, otherwise on the built-in demo instrument.
# --usb or --demo choose explicitly. Without a display it runs the
# command-line tool instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
# Whether a device with the instrument's USB id (ORONT_USB_ID overrides it) is
# attached.
attached() {
  local id=${ORONT_USB_ID:-04d8:000c} d
  id=${id,,}
  for d in /sys/bus/usb/devices/*; do
    [ -r "$d/idVendor" ] && [ -r "$d/idProduct" ] || continue
    [ "$(cat "$d/idVendor"):$(cat "$d/idProduct")" = "$id" ] && return 0
  done
  return 1
}
case "${1:-}" in
  --usb) mode=() ;;
  --demo) mode=(--demo) ;;
  "") if attached; then mode=(); echo "Instrument found on USB."; else mode=(--demo); echo "No instrument on USB: using the demo instrument."; fi ;;
  *) echo "usage: $0 [--usb|--demo]" >&2; exit 2 ;;
esac
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/oront-v208 ]; then
  exec build/oront-v208 "${mode[@]}"
fi
echo "No display found: running the command-line tool instead."
build/oront-v208-cli "${mode[@]}" count
# Into the build folder, which git ignores: the checkout stays clean.
out=build/records.csv; [ ${#mode[@]} -gt 0 ] && out=build/demo.csv
build/oront-v208-cli "${mode[@]}" save-all "$out" && echo "Wrote $out"
