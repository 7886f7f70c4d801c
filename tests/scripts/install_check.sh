#!/usr/bin/env bash
# Installs the build folder $ORONT_BUILD_DIR into a temporary folder and checks
# what lands there: the programs, the desktop entry, the icons, the AppStream
# data, the MIME type and the udev rule. Everything goes below the temporary
# folder (DESTDIR as well as the prefix), so the machine's own configuration
# is never touched.
set -euo pipefail

: "${ORONT_BUILD_DIR:?ORONT_BUILD_DIR must name a configured and built build folder}"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
need_tool() { command -v "$1" >/dev/null || { echo "FAIL: $1 is not installed (scripts/install-deps.sh --test)" >&2; exit 1; }; }

prefix="$tmp/prefix"
DESTDIR="$tmp/dest" cmake --install "$ORONT_BUILD_DIR" --prefix "$prefix" >"$tmp/install.log" 2>&1 || {
  cat "$tmp/install.log" >&2; echo "FAIL: cmake --install" >&2; exit 1; }
root="$tmp/dest$prefix"

# Whether the build has the window programs (Qt found) or only the core.
gui=0
grep -q 'oront-v208\.desktop' "$ORONT_BUILD_DIR/cmake_install.cmake" && gui=1

# --- programs ---------------------------------------------------------------
programs=(oront-v208-cli)
[ $gui = 1 ] && programs+=(oront-v208 oront-v208-report oront-v208-setup)
for p in "${programs[@]}"; do
  if [ -x "$root/bin/$p" ]; then
    if ldd "$root/bin/$p" 2>/dev/null | grep -q 'not found'; then
      fail "bin/$p has unresolved libraries: $(ldd "$root/bin/$p" | grep 'not found' | tr -s ' \t' ' ')"
    else
      pass "bin/$p"
    fi
  else
    fail "bin/$p missing or not executable"
  fi
done

# The installed launcher starts from its installed place (its artwork is built
# in) and stays open until it is ended: still running after two seconds.
if [ $gui = 1 ] && [ -x "$root/bin/oront-v208-setup" ]; then
  rc=0
  (cd "$tmp" && QT_QPA_PLATFORM=offscreen timeout 2 "$root/bin/oront-v208-setup" >"$tmp/setup.log" 2>&1) || rc=$?
  [ $rc = 124 ] && pass "installed oront-v208-setup runs" || { cat "$tmp/setup.log" >&2; fail "installed oront-v208-setup ended with $rc"; }
fi

# The installed tool saves without Qt and prints through the report program
# installed beside it (it does not link Qt itself).
if [ -x "$root/bin/oront-v208-cli" ]; then
  (cd "$tmp" && "$root/bin/oront-v208-cli" --demo save-all "$tmp/demo.csv" >"$tmp/cli.log" 2>&1) && [ -s "$tmp/demo.csv" ] \
    && pass "installed oront-v208-cli saves the demo memory" || { cat "$tmp/cli.log" >&2; fail "installed oront-v208-cli save-all"; }
  if ldd "$root/bin/oront-v208-cli" | grep -q libQt6; then fail "bin/oront-v208-cli links Qt"; else pass "bin/oront-v208-cli does not link Qt"; fi
  if [ $gui = 1 ]; then
    (cd "$tmp" && QT_QPA_PLATFORM=offscreen "$root/bin/oront-v208-cli" --demo report "$tmp/demo.pdf" >"$tmp/report.log" 2>&1) \
      && [ -s "$tmp/demo.pdf" ] && pass "installed oront-v208-cli prints a report through oront-v208-report" \
      || { cat "$tmp/report.log" >&2; fail "installed oront-v208-cli report"; }
  fi
fi

# --- udev rule ----------------------------------------------------------------
rule=$(find "$tmp/dest" -name '70-oront-v208.rules' | head -n 1)
if [ -z "$rule" ]; then
  fail "udev rule 70-oront-v208.rules not installed"
else
  case "$rule" in
    "$root/lib/udev/rules.d/70-oront-v208.rules" | */etc/udev/rules.d/70-oront-v208.rules) pass "udev rule at ${rule#"$tmp/dest"}" ;;
    *) fail "udev rule in a folder udev does not read: ${rule#"$tmp/dest"}" ;;
  esac
  if udevadm verify --help >/dev/null 2>&1; then
    if udevadm verify --no-style "$rule" >"$tmp/verify.log" 2>&1 || udevadm verify "$rule" >"$tmp/verify.log" 2>&1; then
      pass "udevadm verify"
    else
      cat "$tmp/verify.log" >&2; fail "udevadm verify"
    fi
  else
    # This udevadm cannot verify rule files: check the syntax here. Every rule
    # line is a comma-separated list of KEY{attr}OP"value" pairs.
    pair='[A-Z_]+(\{[A-Za-z0-9_.-]+\})?(==|!=|\+=|-=|:=|=)"[^"]*"'
    bad=$(grep -vE '^[[:space:]]*(#.*)?$' "$rule" | grep -vE "^${pair}(, ${pair})*$" || true)
    [ -z "$bad" ] && pass "udev rule syntax (own check; udevadm $(udevadm --version) has no verify)" \
                 || fail "udev rule lines with bad syntax: $bad"
  fi
  line=$(grep -vE '^[[:space:]]*(#.*)?$' "$rule" | head -n 1)
  for key in 'SUBSYSTEM=="usb"' 'ATTRS{idVendor}=="04d8"' 'ATTRS{idProduct}=="000c"' 'TAG+="uaccess"'; do
    [[ ", $line, " == *", $key, "* ]] && pass "udev rule has $key" || fail "udev rule lacks $key"
  done
  # uaccess tags are applied by 73-seat-late.rules: the rule must sort before it.
  [ "$(basename "$rule" | cut -c1-2)" -lt 73 ] && pass "udev rule sorts before 73-seat-late" \
                                               || fail "udev rule sorts after 73-seat-late"
fi

# --- desktop entry, icons, AppStream ------------------------------------------------
if [ $gui = 1 ]; then
  need_tool desktop-file-validate
  need_tool appstreamcli
  desktop="$root/share/applications/oront-v208.desktop"
  if [ -f "$desktop" ]; then
    desktop-file-validate "$desktop" && pass "desktop-file-validate" || fail "desktop-file-validate"
    exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    [ -x "$root/bin/$exec_name" ] && pass "desktop Exec=$exec_name is installed" || fail "desktop Exec=$exec_name not in bin"
    icon_name=$(sed -n 's/^Icon=//p' "$desktop")
  else
    fail "share/applications/oront-v208.desktop missing"; icon_name=oront-v208
  fi

  # The memory image type: declared by the installed MIME package, and the
  # desktop entry opens such a file with the window (Exec takes it as %f).
  need_tool update-mime-database
  mime="$root/share/mime/packages/oront-v208.xml"
  if [ -f "$mime" ] && [ -f "$desktop" ]; then
    type=$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$mime")
    [ "$type" = application/x-oront-v208-image ] && pass "MIME type $type" || fail "MIME package declares '$type'"
    grep -q "^MimeType=\(.*;\)\?$type;" "$desktop" && pass "desktop entry opens $type" \
      || fail "desktop MimeType= lacks $type"
    grep -qE '^Exec=[^ ]+ %f$' "$desktop" && pass "desktop Exec takes the file (%f)" || fail "desktop Exec lacks %f"
    if update-mime-database "$root/share/mime" >"$tmp/mime.log" 2>&1 \
       && grep -qxF "$type:*.v208img" "$root/share/mime/globs"; then
      pass "update-mime-database: *.v208img is $type"
    else
      cat "$tmp/mime.log" >&2; fail "update-mime-database does not map *.v208img to $type"
    fi
  else
    fail "share/mime/packages/oront-v208.xml missing"
  fi

  icons="$root/share/icons/hicolor"
  [ -f "$icons/scalable/apps/$icon_name.svg" ] && pass "scalable icon" || fail "scalable icon $icon_name.svg missing"
  for size in 16 24 32 48 64 128 256; do
    png="$icons/${size}x${size}/apps/$icon_name.png"
    if [ ! -f "$png" ]; then fail "icon ${size}x${size} missing"; continue; fi
    # PNG signature, then the IHDR chunk: width and height as 32-bit big-endian.
    sig=$(od -An -tx1 -N8 "$png" | tr -d ' \n')
    dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}')
    [ "$sig" = 89504e470d0a1a0a ] && [ "$dims" = "${size}x${size}" ] && pass "icon ${size}x${size}" \
      || fail "icon ${size}x${size} is not a ${size}x${size} PNG ($dims)"
  done

  meta="$root/share/metainfo/com.oront.orontv208.metainfo.xml"
  if [ -f "$meta" ]; then
    appstreamcli validate --no-net "$meta" >"$tmp/as.log" 2>&1 && pass "appstreamcli validate" \
      || { cat "$tmp/as.log" >&2; fail "appstreamcli validate"; }
    grep -q '<launchable type="desktop-id">oront-v208.desktop</launchable>' "$meta" \
      && pass "metainfo launches the installed desktop entry" || fail "metainfo launchable does not name oront-v208.desktop"
  else
    fail "share/metainfo/com.oront.orontv208.metainfo.xml missing"
  fi
fi

# Nothing may be installed outside the prefix.
outside=$(cd "$tmp/dest" && find . -type f | grep -v "^.$prefix/" || true)
[ -z "$outside" ] && pass "everything below the prefix" || fail "installed outside the prefix: $outside"

if [ $failures -gt 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "All install checks passed."
