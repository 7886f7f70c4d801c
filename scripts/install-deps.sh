#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12, skipping
# packages that are already there. Run as root (or with sudo available).
#   scripts/install-deps.sh            build and run
#   scripts/install-deps.sh --test     also what the tests need
#   scripts/install-deps.sh --windows  also what the Windows release needs: the MinGW-w64 cross
#                                      compiler, Wine, NSIS, Xvfb and the tools around them
set -euo pipefail

packages=(build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools libqt6svg6-dev
          libusb-1.0-0-dev libsqlite3-dev libpq-dev libsodium-dev nlohmann-json3-dev fonts-liberation libgtest-dev libgmock-dev googletest libbenchmark-dev)
for arg in "$@"; do
  case "$arg" in
    --test) packages+=(umockdev libumockdev-dev clang libclang-rt-14-dev clang-format
                       cups printer-driver-cups-pdf poppler-utils sqlite3 postgresql-15 openssl desktop-file-utils appstream shared-mime-info udev) ;;
    --windows) packages+=(g++-mingw-w64-x86-64 wine64 dpkg-dev ninja-build nsis xvfb xauth xdotool x11-apps imagemagick
                          poppler-utils autoconf automake libtool tcl) ;;
    *) echo "usage: $0 [--test] [--windows]" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The tests check that texts do not change under a decimal-comma locale.
if [[ " $* " == *" --test "* ]] && ! locale -a 2>/dev/null | grep -qi '^de_DE.utf-\?8$'; then
  if ! command -v localedef >/dev/null; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends locales
  fi
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 || true
fi
