#!/usr/bin/env bash
# Builds the Debian package of the build folder $ORONT_BUILD_DIR into a
# temporary folder (cpack -G DEB) and checks its control fields and contents.
# cpack builds the build folder's targets first if they are out of date.
set -euo pipefail

: "${ORONT_BUILD_DIR:?ORONT_BUILD_DIR must name a configured and built build folder}"
command -v dpkg-deb >/dev/null || { echo "FAIL: dpkg-deb missing" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

cpack -G DEB -B "$tmp" --config "$ORONT_BUILD_DIR/CPackConfig.cmake" >"$tmp/cpack.log" 2>&1 || {
  tail -n 30 "$tmp/cpack.log" >&2; echo "FAIL: cpack -G DEB" >&2; exit 1; }
shopt -s nullglob
debs=("$tmp"/*.deb)
[ ${#debs[@]} -eq 1 ] || { echo "FAIL: expected one .deb, found ${#debs[@]}" >&2; exit 1; }
deb=${debs[0]}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$ORONT_BUILD_DIR/CMakeCache.txt")
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "oront-v208_${version}_${arch}.deb" ] && pass "file name $(basename "$deb")" \
  || fail "file name $(basename "$deb"), expected oront-v208_${version}_${arch}.deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = oront-v208 ] && pass "Package: oront-v208" || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] && pass "Version: $version" || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] && pass "Architecture: $arch" || fail "Architecture: $(field Architecture)"
[[ "$(field Maintainer)" == *@* ]] && pass "Maintainer: $(field Maintainer)" || fail "no maintainer address"
[ -n "$(field Description)" ] && pass "Description" || fail "no description"
[ "$(field Section)" = science ] && pass "Section: science" || fail "Section: $(field Section)"

gui=0
grep -q 'oront-v208\.desktop' "$ORONT_BUILD_DIR/cmake_install.cmake" && gui=1
# Dependencies come from dpkg-shlibdeps: the C library and libusb always, Qt
# with the window programs.
depends=$(field Depends)
wanted=(libc6 libusb-1.0-0)
[ $gui = 1 ] && wanted+=(libqt6widgets6 libqt6svg6)
for d in "${wanted[@]}"; do
  [[ ", $depends" == *", $d "* || ", $depends," == *", $d,"* ]] && pass "Depends on $d" || fail "Depends lacks $d: $depends"
done

dpkg-deb -c "$deb" | awk '{print $6}' >"$tmp/contents"
files=(./usr/bin/oront-v208-cli ./usr/lib/udev/rules.d/70-oront-v208.rules)
[ $gui = 1 ] && files+=(./usr/bin/oront-v208 ./usr/bin/oront-v208-report ./usr/bin/oront-v208-setup
                        ./usr/share/applications/oront-v208.desktop
                        ./usr/share/metainfo/com.oront.orontv208.metainfo.xml
                        ./usr/share/mime/packages/oront-v208.xml
                        ./usr/share/icons/hicolor/scalable/apps/oront-v208.svg
                        ./usr/share/icons/hicolor/48x48/apps/oront-v208.png)
for f in "${files[@]}"; do
  grep -qxF "$f" "$tmp/contents" && pass "contains ${f#.}" || fail "lacks ${f#.}"
done

if [ $failures -gt 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "All package checks passed."
