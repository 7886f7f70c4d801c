#!/usr/bin/env bash
# A throwaway PostgreSQL 15 server for tests, on a Unix socket in a folder of
# its own (nothing listens on the network), run as an unprivileged user:
#   eval "$(tests/support/pg-server.sh start DIR)"   starts it; sets PGHOST, PGUSER, PGDATABASE
#   tests/support/pg-server.sh stop DIR             stops it (start DIR starts it again)
# The superuser is "oront" (trust on the socket, which only DIR's owner can
# reach). As root the server runs as nobody, which owns DIR and may pass
# through DIR's parent.
set -euo pipefail
bin=/usr/lib/postgresql/15/bin
action=${1:?start or stop}
dir=${2:?a folder for the server}
as_server=()
if [ "$(id -u)" = 0 ]; then as_server=(runuser -u nobody --); fi
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
    "${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -o "-k $dir -c listen_addresses=''" -l "$dir/log" -w start \
      >"$dir/start.log" 2>&1 || { cat "$dir/start.log" "$dir/log" >&2; exit 1; }
    # The socket's folder is the server user's: let the test's user in.
    chmod 711 "$dir"
    printf 'export PGHOST=%q PGUSER=oront PGDATABASE=postgres\n' "$dir"
    ;;
  stop)
    "${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
    ;;
  *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
