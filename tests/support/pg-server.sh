#!/usr/bin/env bash
# A throwaway PostgreSQL 15 server for tests, on a Unix socket in a folder of
# its own (nothing listens on the network), run as an unprivileged user:
#   eval "$(tests/support/pg-server.sh start DIR)"   starts it; sets PGHOST, PGUSER, PGDATABASE
#   tests/support/pg-server.sh stop DIR             stops it (start DIR starts it again)
#   eval "$(tests/support/pg-server.sh start-tls DIR)"  the same on 127.0.0.1 with TLS only: a
#        test CA (DIR/ca.crt) signs the server's certificate for localhost;
#        sets PGHOST=localhost, PGPORT, PGSSLMODE=verify-full, PGSSLROOTCERT
# The superuser is "oront" (trust on the socket, which only DIR's owner can
# reach). As root the server runs as nobody, which owns DIR and may pass
# through DIR's parent.
set -euo pipefail
bin=/usr/lib/postgresql/15/bin
action=${1:?start or stop}
dir=${2:?a folder for the server}
as_server=()
if [ "$(id -u)" = 0 ]; then as_server=(runuser -u nobody --); fi
tls=0
[ "$action" = start-tls ] && { action=start; tls=1; }
case "$action" in
  start)
    [ -x "$bin/initdb" ] || { echo "pg-server: PostgreSQL 15 is missing (postgresql-15)" >&2; exit 1; }
    mkdir -p "$dir"
    if [ "$(id -u)" = 0 ]; then
      chown nobody: "$dir"
      # nobody reaches the folder through its parent (a test's own folder).
      chmod o+x "$(dirname "$(realpath "$dir")")"
    fi
    chmod 700 "$dir"
    # A cluster made before (a server stopped by a test) starts again as it was.
    if [ ! -f "$dir/data/PG_VERSION" ]; then
      "${as_server[@]}" "$bin/initdb" -D "$dir/data" -A trust -U oront >"$dir/initdb.log" 2>&1 ||
        { cat "$dir/initdb.log" >&2; exit 1; }
    fi
    if [ $tls = 0 ]; then
      "${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -o "-k $dir -c listen_addresses=''" -l "$dir/log" -w start \
        >"$dir/start.log" 2>&1 || { cat "$dir/start.log" "$dir/log" >&2; exit 1; }
      # The socket's folder is the server user's: let the test's user in.
      chmod 711 "$dir"
      printf 'export PGHOST=%q PGUSER=oront PGDATABASE=postgres\n' "$dir"
      exit 0
    fi
    # A test CA and the server's certificate for localhost and 127.0.0.1;
    # only TLS connections from this machine are let in.
    if [ ! -f "$dir/ca.crt" ]; then
      openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=oront test CA" \
        -keyout "$dir/ca.key" -out "$dir/ca.crt" >"$dir/openssl.log" 2>&1 || { cat "$dir/openssl.log" >&2; exit 1; }
      openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$dir/data/server.key" \
        -out "$dir/server.csr" >>"$dir/openssl.log" 2>&1 &&
        printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\n' >"$dir/san.ext" &&
        openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.crt" -CAkey "$dir/ca.key" -CAcreateserial -days 2 \
          -extfile "$dir/san.ext" -out "$dir/data/server.crt" >>"$dir/openssl.log" 2>&1 ||
        { cat "$dir/openssl.log" >&2; exit 1; }
      chmod 600 "$dir/data/server.key"
      [ "$(id -u)" = 0 ] && chown nobody: "$dir/data/server.key" "$dir/data/server.crt"
      printf 'hostssl all all 127.0.0.1/32 trust\n' >"$dir/data/pg_hba.conf"
      [ "$(id -u)" = 0 ] && chown nobody: "$dir/data/pg_hba.conf"
    fi
    # A free port: the first one the server can listen on; started again,
    # the one it had.
    ports=$(seq $((20000 + $$ % 20000)) $((20020 + $$ % 20000)))
    [ -f "$dir/port" ] && ports=$(cat "$dir/port")
    for port in $ports; do
      if "${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/log" -w start \
           -o "-k $dir -p $port -c listen_addresses=127.0.0.1 -c ssl=on" >"$dir/start.log" 2>&1; then
        chmod 711 "$dir"
        echo "$port" >"$dir/port"
        printf 'export PGHOST=localhost PGPORT=%q PGUSER=oront PGDATABASE=postgres PGSSLMODE=verify-full PGSSLROOTCERT=%q\n' \
          "$port" "$dir/ca.crt"
        exit 0
      fi
    done
    cat "$dir/start.log" "$dir/log" >&2
    exit 1
    ;;
  stop)
    "${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
    ;;
  *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
