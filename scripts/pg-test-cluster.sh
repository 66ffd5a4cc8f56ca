#!/usr/bin/env bash
# Starts a throwaway PostgreSQL cluster on a free local port for the test suite and prints the
# connection string for TUNNEL_TEST_PG. Usage: scripts/pg-test-cluster.sh start|stop|restart DIR
set -euo pipefail

action=${1:?start or stop}
dir=${2:?cluster folder}
. "$(dirname "$0")/pg-common.sh"

case "$action" in
  start)
    mkdir -p "$dir"
    [ "$(id -u)" = 0 ] && chown postgres "$dir"
    as_owner "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log"
    port=$(free_port 55432 55532)
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
