#!/usr/bin/env bash
# Starts PgBouncer in transaction pooling in front of a local server, as installations with many
# stations run it, and prints the connection string through it for TUNNEL_TEST_PG_POOLER.
# Usage: scripts/pgbouncer-test.sh start DIR SERVER_PORT | stop DIR
set -euo pipefail

action=${1:?start or stop}
dir=${2:?pooler folder}
. "$(dirname "$0")/pg-common.sh"

case "$action" in
  start)
    server_port=${3:?server port}
    mkdir -p "$dir"
    [ "$(id -u)" = 0 ] && chown postgres "$dir"
    port=$(free_port 56432 56532)
    # Two server sessions a database for all clients: two stations' transactions take turns
    # on the same server sessions, as they do at a busy installation.
    cat >"$dir/pgbouncer.ini" <<INI
[databases]
* = host=127.0.0.1 port=$server_port

[pgbouncer]
listen_addr = 127.0.0.1
listen_port = $port
unix_socket_dir =
auth_type = trust
auth_file = $dir/users.txt
pool_mode = transaction
default_pool_size = 2
max_client_conn = 200
server_reset_query =
; as installations set it, so that clients that send startup options connect at all
ignore_startup_parameters = options
logfile = $dir/pgbouncer.log
pidfile = $dir/pgbouncer.pid
INI
    echo '"postgres" ""' >"$dir/users.txt"
    [ "$(id -u)" = 0 ] && chown postgres "$dir/pgbouncer.ini" "$dir/users.txt"
    as_owner /usr/sbin/pgbouncer -d -q "$dir/pgbouncer.ini"
    for _ in $(seq 1 100); do
      (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null && break
      sleep 0.1
    done
    echo "Provider=PostgreSQL;Host=127.0.0.1;Port=$port;Database=postgres;User ID=postgres;Pooler=transaction"
    ;;
  stop)
    [ -f "$dir/pgbouncer.pid" ] && kill "$(cat "$dir/pgbouncer.pid")" 2>/dev/null || true
    ;;
  *)
    echo "usage: $0 start DIR SERVER_PORT | stop DIR" >&2
    exit 2
    ;;
esac
