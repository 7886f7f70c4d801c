#!/usr/bin/env bash
# Cross-builds Qt 6, SQLite, libsodium and libpq (with OpenSSL,
# scripts/libpq-mingw.sh) for 64-bit Windows from Debian's own
# source packages with MinGW-w64, using Debian's native Qt of the same version
# as the host tools, and installs them into cache folders that later runs
# reuse:
#   scripts/qt-mingw.sh    prints the Qt prefix and the libraries' prefix, one
#                          per line (building what is missing)
# Each prefix is keyed by its versions and a hash of its configuration, so a
# change of the configuration builds a fresh one beside the old.
# Sources come through a private apt source list (the machine's own apt
# configuration is never changed); apt checks their signatures and sums.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
started=$(date +%s)
step() { echo "== qt-mingw: $* ($(($(date +%s) - started)) s)" >&2; }

qt_version=6.4.2
sqlite_version=3.40.1
sodium_version=1.0.18
toolchain=$src/cmake/mingw-w64.cmake
jobs=$(nproc)
# What is built. Everything the programs do not use is off; the modules are
# Core, Gui, Widgets, PrintSupport (on Windows its printer support is part of
# the library) and Test with the windows and offscreen platform plugins and
# the Windows style.
qt_options=(
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_dbus=OFF -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF
  -DINPUT_opengl=no -DFEATURE_vulkan=OFF -DFEATURE_direct2d=ON -DFEATURE_direct2d1_1=OFF
  -DFEATURE_tabletevent=OFF -DFEATURE_system_zlib=OFF -DFEATURE_testlib=ON
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
)
# Qt's add-on modules are built when Debian's archive serves their sources
# (the trend chart needs none: the program draws it itself).
addons=(qt6-svg)

# SQLite as Debian builds it for the features the archive uses; libsodium
# static (users compile with SODIUM_STATIC, which its pkg-config file adds).
sqlite_flags=(-O2 -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_FTS5 -DSQLITE_OMIT_LOAD_EXTENSION)
sodium_options=(--disable-shared --enable-static --disable-dependency-tracking)

hash_of() { (printf '%s\n' "$@"; cat "$toolchain") | sha256sum | cut -c1-12; }
key=$(hash_of "$qt_version" "$sqlite_version" "${qt_options[@]}" "${addons[@]}")
libs_key=$(hash_of "$sqlite_version" "${sqlite_flags[@]}" "$sodium_version" "${sodium_options[@]}" \
  "$(cat "$src/scripts/libpq-mingw.sh")")
cache=${ORONT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/oront-v208}
prefix=$cache/qt6-mingw-$qt_version-$key
libs=$cache/libs-mingw-$libs_key
if [ -f "$prefix/.complete" ] && [ -f "$libs/.complete" ]; then
  step "reusing $prefix and $libs"
  printf '%s\n%s\n' "$prefix" "$libs"
  exit 0
fi

for tool in x86_64-w64-mingw32-g++-posix dpkg-source ninja autoreconf libtoolize tclsh /usr/lib/qt6/libexec/moc; do
  command -v "$tool" >/dev/null || { echo "qt-mingw: $tool is missing (scripts/install-deps.sh --windows)" >&2; exit 1; }
done

work=$cache/work-$key-$libs_key
rm -rf "$work"
mkdir -p "$work/lists/partial" "$work/sources"
trap 'rm -rf "$work"' EXIT

# The archive that the machine's own deb lines name, as deb-src.
mirror=$(sed -n 's/^URIs: *\(http[^ ]*debian\)$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n1)
[ -n "$mirror" ] || mirror=$(sed -n 's/^deb \(\[[^]]*\] \)\?\(http[^ ]*\) bookworm main.*/\2/p' /etc/apt/sources.list 2>/dev/null | head -n1)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm main" >"$work/sources.list"
apt_private=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
             -o Dir::State::Lists="$work/lists" -o APT::Sandbox::User=root)
step "source index from $mirror"
apt-get "${apt_private[@]}" update -qq >&2

fetch() {  # fetch PACKAGE: downloads and unpacks a source package into sources/
  (cd "$work/sources" && apt-get "${apt_private[@]}" source --download-only -qq "$1" >&2) || return 1
  local dsc
  dsc=$(ls "$work/sources/$1"_*.dsc | head -n1)
  (cd "$work/sources" && dpkg-source --no-check -x "$(basename "$dsc")" "$1" >/dev/null)
}

build_module() {  # build_module DIR NAME
  step "building $2"
  cmake -S "$1" -B "$work/build-$2" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
        "${qt_options[@]}" -DCMAKE_PREFIX_PATH="$prefix" >"$work/$2.configure.log" 2>&1 ||
    { tail -n 60 "$work/$2.configure.log" >&2; exit 1; }
  ninja -C "$work/build-$2" -j"$jobs" >"$work/$2.build.log" 2>&1 || { tail -n 60 "$work/$2.build.log" >&2; exit 1; }
  ninja -C "$work/build-$2" install >"$work/$2.install.log" 2>&1 || { tail -n 30 "$work/$2.install.log" >&2; exit 1; }
}

if [ ! -f "$prefix/.complete" ]; then
  rm -rf "$prefix"
  step "fetching qt6-base"
  fetch qt6-base || { echo "qt-mingw: qt6-base sources could not be fetched" >&2; exit 1; }
  build_module "$work/sources/qt6-base" qtbase
  for addon in "${addons[@]}"; do
    step "fetching $addon"
    if fetch "$addon"; then
      build_module "$work/sources/$addon" "$addon"
    else
      # Reported, not hidden: the programs then build without this module.
      echo "qt-mingw: $addon: Debian's archive did not serve the sources; built without it" >&2
      echo "$addon" >>"$prefix/missing-modules"
    fi
  done
  touch "$prefix/.complete"
  step "Qt installed into $prefix ($(du -sh "$prefix" | cut -f1))"
fi
[ -f "$libs/.complete" ] && { printf '%s\n%s\n' "$prefix" "$libs"; exit 0; }
rm -rf "$libs"

# SQLite: the amalgamation made from Debian's source, as a static library
# with a pkg-config file.
step "fetching sqlite3"
fetch sqlite3 || { echo "qt-mingw: sqlite3 sources could not be fetched" >&2; exit 1; }
step "building SQLite"
mkdir -p "$work/build-sqlite" "$libs/include" "$libs/lib/pkgconfig"
(cd "$work/build-sqlite" && "$work/sources/sqlite3/configure" --disable-tcl >"$work/sqlite.configure.log" 2>&1 &&
  make sqlite3.c >"$work/sqlite.build.log" 2>&1) || { tail -n 40 "$work"/sqlite.*.log >&2; exit 1; }
x86_64-w64-mingw32-gcc-posix "${sqlite_flags[@]}" -c "$work/build-sqlite/sqlite3.c" -o "$work/build-sqlite/sqlite3.o"
x86_64-w64-mingw32-ar rcs "$libs/lib/libsqlite3.a" "$work/build-sqlite/sqlite3.o"
cp "$work/build-sqlite/sqlite3.h" "$work/build-sqlite/sqlite3ext.h" "$libs/include/"
cat >"$libs/lib/pkgconfig/sqlite3.pc" <<PC
prefix=$libs
Name: SQLite
Description: SQL database engine (static, for Windows)
Version: $sqlite_version
Libs: -L\${prefix}/lib -lsqlite3
Cflags: -I\${prefix}/include
PC

step "fetching libsodium"
fetch libsodium || { echo "qt-mingw: libsodium sources could not be fetched" >&2; exit 1; }
step "building libsodium"
# Debian's source is the release tag without generated files, which its own
# build makes with autoreconf, as here.
(cd "$work/sources/libsodium" && autoreconf -fi >"$work/sodium.autoreconf.log" 2>&1 &&
  ./configure --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix --prefix="$libs" "${sodium_options[@]}" \
    >"$work/sodium.configure.log" 2>&1 &&
  make -j"$jobs" >"$work/sodium.build.log" 2>&1 && make install >"$work/sodium.install.log" 2>&1) ||
  { tail -n 40 "$work"/sodium.*.log >&2; exit 1; }
sed -i 's/^Cflags: \(.*\)$/Cflags: \1 -DSODIUM_STATIC/' "$libs/lib/pkgconfig/libsodium.pc"

# libpq, the client of a site's PostgreSQL server, static with OpenSSL.
step "building libpq"
bash "$src/scripts/libpq-mingw.sh" "$work/libpq" "$libs" || { echo "qt-mingw: libpq could not be built" >&2; exit 1; }

touch "$libs/.complete"
step "libraries installed into $libs"
printf '%s\n%s\n' "$prefix" "$libs"
