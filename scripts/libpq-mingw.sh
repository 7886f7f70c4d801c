#!/usr/bin/env bash
# Cross-builds PostgreSQL 15's client library libpq, with TLS through OpenSSL,
# for 64-bit Windows with MinGW-w64, from Debian 12's own source packages
# (postgresql-15, openssl), and installs a static, self-contained libpq.a:
#   $libs/include/{libpq-fe.h,libpq-events.h,postgres_ext.h,pg_config_ext.h,openssl/*}
#   $libs/lib/{libpq.a,libssl.a,libcrypto.a}
#   $libs/lib/pkgconfig/{libpq.pc,libssl.pc,libcrypto.pc,openssl.pc}
# Usage: scripts/libpq-mingw.sh WORK LIBS   (or source it and call build_libpq WORK LIBS)
# WORK holds sources, build trees and logs; LIBS is the install prefix.
# Compilers: x86_64-w64-mingw32-gcc-posix and binutils x86_64-w64-mingw32-*.

build_libpq() (
  set -euo pipefail
  local work=$1 libs=$2
  local host=x86_64-w64-mingw32 cc=x86_64-w64-mingw32-gcc-posix
  local jobs; jobs=$(nproc)
  local started; started=$(date +%s)
  step() { echo "== libpq-mingw: $* ($(($(date +%s) - started)) s)" >&2; }
  fail() { echo "libpq-mingw: $1" >&2; shift; [ $# -eq 0 ] || tail -n 40 "$@" >&2; exit 1; }

  for tool in "$cc" $host-ar $host-ranlib $host-ld $host-nm $host-objcopy dpkg-source perl make; do
    command -v "$tool" >/dev/null || fail "$tool is missing"
  done
  mkdir -p "$work" "$libs"
  work=$(cd "$work" && pwd) libs=$(cd "$libs" && pwd)

  # --- sources, through a private apt source list ---------------------------
  mkdir -p "$work/lists/partial" "$work/sources"
  local mirror
  mirror=$(sed -n 's/^URIs: *\(http[^ ]*debian\)$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n1)
  [ -n "$mirror" ] || mirror=http://deb.debian.org/debian
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm main" >"$work/sources.list"
  apt_private=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null -o Dir::State::Lists="$work/lists" -o APT::Sandbox::User=root)
  fetch() { (cd "$work/sources" && apt-get "${apt_private[@]}" source --download-only -qq "$1") || return 1; local dsc; dsc=$(ls "$work/sources/$1"_*.dsc | head -n1); (cd "$work/sources" && dpkg-source --no-check -x "$(basename "$dsc")" "$1" >/dev/null); }
  if [ ! -d "$work/sources/openssl" ] || [ ! -d "$work/sources/postgresql-15" ]; then
    step "fetching sources"
    apt-get "${apt_private[@]}" update -qq || fail "apt-get update failed"
    [ -d "$work/sources/openssl" ] || fetch openssl || fail "openssl sources could not be fetched"
    [ -d "$work/sources/postgresql-15" ] || fetch postgresql-15 || fail "postgresql-15 sources could not be fetched"
  fi

  # --- OpenSSL: static libcrypto/libssl only --------------------------------
  # The compiled-in configuration directories are Windows paths that only an
  # administrator can write to (otherwise they would be the build prefix,
  # which on Windows means e.g. C:\tmp\..., creatable by any user).
  local ossl_dirs=(OPENSSLDIR="C:/Program Files/Common Files/SSL"
                   ENGINESDIR="C:/Program Files/OpenSSL/lib/engines-3"
                   MODULESDIR="C:/Program Files/OpenSSL/lib/ossl-modules")
  step "building OpenSSL"
  rm -rf "$work/build-openssl" && mkdir -p "$work/build-openssl"
  (cd "$work/build-openssl" &&
    "$work/sources/openssl/Configure" mingw64 --cross-compile-prefix=$host- CC=gcc-posix \
      --prefix="$libs" --libdir=lib no-shared no-module no-tests >"$work/openssl.configure.log" 2>&1 &&
    make -j"$jobs" build_libs "${ossl_dirs[@]}" >"$work/openssl.build.log" 2>&1 &&
    make install_dev "${ossl_dirs[@]}" >"$work/openssl.install.log" 2>&1) ||
    fail "OpenSSL build failed" "$work"/openssl.*.log
  rmdir "$libs/bin" 2>/dev/null || true

  # --- PostgreSQL: only libpq and the parts of src/port, src/common it uses --
  step "configuring PostgreSQL"
  local pg=$work/build-postgresql src=$work/sources/postgresql-15
  rm -rf "$pg" && mkdir -p "$pg"
  (cd "$pg" && "$src/configure" --host=$host --prefix="$libs" \
      --with-ssl=openssl --without-readline --without-zlib --without-icu --without-ldap \
      --without-gssapi --disable-nls \
      CC="$cc" AR=$host-ar RANLIB=$host-ranlib \
      CPPFLAGS="-I$libs/include" LDFLAGS="-L$libs/lib" LIBS="-lws2_32 -lcrypt32" \
      >"$work/pg.configure.log" 2>&1) || fail "PostgreSQL configure failed" "$work/pg.configure.log" "$pg/config.log"
  grep -q '^#define USE_OPENSSL 1' "$pg/src/include/pg_config.h" || fail "configure did not enable OpenSSL"

  step "building libpq"
  printf 'print-objs:\n\t@echo $(OBJS)\n' >"$work/print-objs.mk"
  local objs
  ( make -C "$pg/src/port" submake-generated-headers &&
    make -C "$pg/src/port" -j"$jobs" libpgport.a &&
    make -C "$pg/src/common" -j"$jobs" libpgcommon.a ) >"$work/pg.build.log" 2>&1 ||
    fail "building src/port, src/common failed" "$work/pg.build.log"
  # libpq's objects without its version resource (win32ver.o, for the DLL)
  objs=$(make -s -C "$pg/src/interfaces/libpq" -f Makefile -f "$work/print-objs.mk" print-objs | tr ' ' '\n' | grep -v '^win32ver\.o$' | tr '\n' ' ')
  # shellcheck disable=SC2086
  make -C "$pg/src/interfaces/libpq" -j"$jobs" $objs >>"$work/pg.build.log" 2>&1 || fail "building libpq failed" "$work/pg.build.log"

  # One self-contained libpq.a: libpq's objects plus exactly the members of
  # libpgcommon.a/libpgport.a they need (found by a relocatable link), so no
  # unrelated PostgreSQL replacements (getopt, _dowildcard, ...) reach the exe.
  local stage=$work/libpq-archive
  rm -rf "$stage" && mkdir -p "$stage/common" "$stage/port"
  (cd "$pg/src/interfaces/libpq" && cp $objs "$stage/")
  # shellcheck disable=SC2086
  (cd "$stage" && $host-ld -r -o closure.o --whole-archive $objs --no-whole-archive \
    "$pg/src/common/libpgcommon.a" "$pg/src/port/libpgport.a" -Map=closure.map) 2>>"$work/pg.build.log" ||
    fail "resolving libpq's dependencies failed" "$work/pg.build.log"
  local lib member members=()
  for lib in common port; do
    while read -r member; do
      (cd "$stage/$lib" && $host-ar x "$pg/src/$lib/libpg$lib.a" "$member")
      [ ! -e "$stage/$member" ] || fail "member name clash: $member"
      mv "$stage/$lib/$member" "$stage/$member"; members+=("$member")
    done < <(grep -F "$pg/src/$lib/libpg$lib.a(" "$stage/closure.map" | sed -n 's|^[^ ]*/libpg[a-z]*\.a(\([^)]*\.o\)).*|\1|p' | sort -u)
  done
  [ ${#members[@]} -gt 0 ] || fail "no libpgcommon/libpgport members found"
  rm -f "$stage/closure.o" "$libs/lib/libpq.a"
  # shellcheck disable=SC2086
  (cd "$stage" && $host-ar crs "$libs/lib/libpq.a" $objs "${members[@]}")
  # libpq's minimal win32 pthread stand-ins (pthread_mutex_lock, ...) would
  # clash with winpthreads, which the -posix toolchain links into C++ programs.
  local sym redefs=()
  for sym in pthread_self pthread_setspecific pthread_getspecific pthread_mutex_init pthread_mutex_lock pthread_mutex_unlock; do
    redefs+=(--redefine-sym "$sym=pq_win32_$sym")
  done
  $host-objcopy "${redefs[@]}" "$libs/lib/libpq.a"
  $host-ranlib "$libs/lib/libpq.a"
  if $host-nm -g --defined-only "$libs/lib/libpq.a" | grep -Eq ' [TDB] pthread_'; then fail "pthread symbols left in libpq.a"; fi

  # --- headers and pkg-config file -----------------------------------------
  mkdir -p "$libs/include" "$libs/lib/pkgconfig"
  cp "$src/src/interfaces/libpq/libpq-fe.h" "$src/src/interfaces/libpq/libpq-events.h" \
     "$src/src/include/postgres_ext.h" "$pg/src/include/pg_config_ext.h" "$libs/include/"
  local version
  version=$(sed -n 's/^#define PG_VERSION "\([^"]*\)"$/\1/p' "$pg/src/include/pg_config.h")
  # Everything in Libs: CMake's IMPORTED_TARGET uses "pkg-config --libs"
  # (without --static), and the library is static only.
  cat >"$libs/lib/pkgconfig/libpq.pc" <<EOF
prefix=$libs
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: libpq
Description: PostgreSQL libpq library (static, OpenSSL, MinGW-w64)
Url: https://www.postgresql.org/
Version: $version
Cflags: -I\${includedir}
Libs: -L\${libdir} -lpq -lssl -lcrypto -lsecur32 -lws2_32 -lcrypt32 -lshell32 -ladvapi32 -luser32
Libs.private:
EOF
  step "libpq $version installed into $libs"
)

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  [ $# -eq 2 ] || { echo "usage: $0 WORK LIBS" >&2; exit 2; }
  build_libpq "$1" "$2"
fi
