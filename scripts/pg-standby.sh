#!/usr/bin/env bash
# A PostgreSQL primary and a streaming hot standby of it on loopback (pg_basebackup -R), for
# trying several servers and for the failover tests. `start` prints the connection string that
# names both servers (the one that takes writes is used) and the standby for history reads.
# Ports from 25432 on: below the range the system hands out to outgoing connections.
# Usage: scripts/pg-standby.sh start|stop|promote|stop-standby|start-standby DIR
#   promote        stops the primary at once and promotes the standby (a failover)
#   stop-standby   stops the standby; start-standby starts it again
set -euo pipefail

action=${1:?start, stop, promote, stop-standby or start-standby}
dir=${2:?pair folder}
. "$(dirname "$0")/pg-common.sh"

start_server() {  # NAME PORT
  as_owner "$bin/pg_ctl" -D "$dir/$1" -l "$dir/$1.log" -w \
    -o "-p $2 -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off" \
    start >/dev/null
}

case "$action" in
  start)
    mkdir -p "$dir"
    [ "$(id -u)" = 0 ] && chown postgres "$dir"
    as_owner "$bin/initdb" -D "$dir/primary" -U postgres -A trust -E UTF8 --locale=C.UTF-8 \
      >"$dir/initdb.log"
    primary=$(free_port 25432 25532)
    start_server primary "$primary"
    standby=$(free_port 25432 25532)
    as_owner "$bin/pg_basebackup" -h 127.0.0.1 -p "$primary" -U postgres -D "$dir/standby" \
      -R -X stream -c fast
    start_server standby "$standby"
    echo "$primary" >"$dir/primary.port"
    echo "$standby" >"$dir/standby.port"
    wait_for_replica "$primary" "state = 'streaming'" "the standby does not stream"
    echo "Provider=PostgreSQL;Host=127.0.0.1,127.0.0.1;Port=$primary,$standby;Database=postgres;User ID=postgres;Standby=127.0.0.1:$standby"
    ;;
  stop)
    for server in primary standby; do
      as_owner "$bin/pg_ctl" -D "$dir/$server" -m immediate stop >/dev/null 2>&1 || true
    done
    ;;
  promote)
    as_owner "$bin/pg_ctl" -D "$dir/primary" -m immediate stop >/dev/null
    as_owner "$bin/pg_ctl" -D "$dir/standby" -w promote >/dev/null
    ;;
  stop-standby)
    as_owner "$bin/pg_ctl" -D "$dir/standby" -m fast stop >/dev/null
    ;;
  start-standby)
    start_server standby "$(cat "$dir/standby.port")"
    ;;
  *)
    echo "usage: $0 start|stop|promote|stop-standby|start-standby DIR" >&2
    exit 2
    ;;
esac
