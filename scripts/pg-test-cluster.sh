#!/usr/bin/env bash
# Starts a throwaway PostgreSQL cluster on a free local port for the test suite and prints the
# connection string for TUNNEL_TEST_PG. Usage: scripts/pg-test-cluster.sh start|stop|restart DIR
set -euo pipefail

action=${1:?start or stop}
dir=${2:?cluster folder}
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bin/initdb" ] || { echo "PostgreSQL server binaries not found; install postgresql" >&2; exit 1; }

# The server refuses to run as root; run it as the postgres user then.
as_owner() {
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

free_port() {
  local port
  for port in $(seq 55432 55532); do
    if ! (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null; then echo "$port"; return; fi
  done
  echo "no free port between 55432 and 55532" >&2
  exit 1
}

case "$action" in
  start)
    mkdir -p "$dir"
    [ "$(id -u)" = 0 ] && chown postgres "$dir"
    as_owner "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log"
    port=$(free_port)
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
      -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
      start >/dev/null
    echo "Provider=PostgreSQL;Host=127.0.0.1;Port=$port;Database=postgres;User ID=postgres"
    ;;
  stop)
    as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    ;;
  restart)
    # Ends every session, as a server restart at an installation does; same port and options.
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -m fast restart >/dev/null
    ;;
  *)
    echo "usage: $0 start|stop|restart DIR" >&2
    exit 2
    ;;
esac
