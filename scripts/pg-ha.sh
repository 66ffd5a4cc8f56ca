#!/usr/bin/env bash
# A PostgreSQL cluster under a failover manager on loopback: one etcd (Debian's etcd-server, its
# v2 API on, which Debian's Patroni speaks) and two Patroni-managed PostgreSQL nodes with
# synchronous replication, a short loop and TTL so that a failover completes in seconds.
# `start` prints the connection string that names both nodes (the one that takes writes is used)
# with the replica for history reads.
# Usage: scripts/pg-ha.sh start|stop|crash-leader|leader DIR
#   crash-leader   kills the leader's Patroni and then its postmaster (a node lost), prints
#                  the port it served
#   leader         prints the port of the node that holds the leader key
set -euo pipefail

action=${1:?start, stop, crash-leader or leader}
dir=${2:?cluster folder}
. "$(dirname "$0")/pg-common.sh"

# Fast enough for a test, slow enough for a loaded machine: loop_wait + 2 * retry_timeout must
# stay within ttl, or a leader that is merely slow loses its key.
ttl=8
loop_wait=1
retry_timeout=3

node_config() {  # NAME PGPORT APIPORT ETCDPORT
  cat <<EOF
scope: tunnel
name: $1
log:
  dir: $dir/$1-log
restapi:
  listen: 127.0.0.1:$3
  connect_address: 127.0.0.1:$3
etcd:
  host: 127.0.0.1:$4
bootstrap:
  dcs:
    ttl: $ttl
    loop_wait: $loop_wait
    retry_timeout: $retry_timeout
    maximum_lag_on_failover: 1048576
    synchronous_mode: true
    postgresql:
      # A leader that lost its key while merely slow (a loaded machine) rejoins as a replica.
      use_pg_rewind: true
      parameters:
        max_wal_senders: 5
        max_replication_slots: 5
        wal_keep_size: 64MB
  initdb:
    - encoding: UTF8
    - locale: C.UTF-8
    - auth: trust
  pg_hba:
    - host replication postgres 127.0.0.1/32 trust
    - host all all 127.0.0.1/32 trust
    - local all all trust
postgresql:
  listen: 127.0.0.1:$2
  connect_address: 127.0.0.1:$2
  data_dir: $dir/$1
  bin_dir: $bin
  pgpass: $dir/$1.pgpass
  authentication:
    replication:
      username: postgres
    superuser:
      username: postgres
  parameters:
    unix_socket_directories: $dir
    fsync: "off"
EOF
}

api() {  # PORT PATH
  python3 - "$1" "$2" <<'EOF'
import json, sys, urllib.request
try:
    with urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[1]}{sys.argv[2]}", timeout=2) as r:
        print(r.read().decode())
except Exception as error:
    if hasattr(error, "read"):
        print(error.read().decode())
EOF
}

# The role a node's REST API reports ("master", "replica", ...), empty when it does not answer.
role() {  # APIPORT
  api "$1" /patroni | python3 -c 'import json,sys
try: print(json.load(sys.stdin).get("role", ""))
except Exception: print("")'
}

# The process of a node's Patroni (not of the runuser before it), or of etcd.
patroni_pid() {  # NAME
  pgrep -f "bin/patroni $dir/$1.yml" || true
}
etcd_pid() {
  pgrep -f "^etcd --name tunnel-etcd --data-dir $dir/etcd" || true
}

leader_port() {
  for node in node1 node2; do
    [ -f "$dir/$node.api" ] || continue
    if [ "$(role "$(cat "$dir/$node.api")")" = master ]; then cat "$dir/$node.port"; return; fi
  done
}

case "$action" in
  start)
    mkdir -p "$dir"
    [ "$(id -u)" = 0 ] && chown postgres "$dir"
    client=$(free_port 26379 26479)
    peer=$(free_port $((client + 1)) 26579)
    as_owner etcd --name tunnel-etcd --data-dir "$dir/etcd" --enable-v2=true \
      --listen-client-urls "http://127.0.0.1:$client" --advertise-client-urls "http://127.0.0.1:$client" \
      --listen-peer-urls "http://127.0.0.1:$peer" --initial-advertise-peer-urls "http://127.0.0.1:$peer" \
      --initial-cluster "tunnel-etcd=http://127.0.0.1:$peer" >"$dir/etcd.log" 2>&1 </dev/null &
    for _ in $(seq 1 100); do
      api "$client" /version | grep -q etcdserver && break
      sleep 0.1
    done
    ports=()
    for node in node1 node2; do
      port=$(free_port 26432 26532)
      while [[ " ${ports[*]} " == *" $port "* ]]; do port=$(free_port $((port + 1)) 26532); done
      apiport=$(free_port 28008 28108)
      while [ -f "$dir/node1.api" ] && [ "$apiport" = "$(cat "$dir/node1.api")" ]; do
        apiport=$(free_port $((apiport + 1)) 28108)
      done
      ports+=("$port")
      echo "$port" >"$dir/$node.port"
      echo "$apiport" >"$dir/$node.api"
      mkdir -p "$dir/$node-log"
      node_config "$node" "$port" "$apiport" "$client" >"$dir/$node.yml"
      [ "$(id -u)" = 0 ] && chown -R postgres "$dir/$node.yml" "$dir/$node-log"
      as_owner patroni "$dir/$node.yml" >"$dir/$node.out" 2>&1 </dev/null &
      # The first node bootstraps the cluster before the second copies it.
      if [ "$node" = node1 ]; then
        for _ in $(seq 1 300); do
          [ "$(role "$apiport")" = master ] && break
          sleep 0.1
        done
      fi
    done
    wait_for_replica "${ports[0]}" "sync_state = 'sync'" \
      "the Patroni cluster did not come up (see $dir/*.out)"
    echo "Provider=PostgreSQL;Host=127.0.0.1,127.0.0.1;Port=${ports[0]},${ports[1]};Database=postgres;User ID=postgres;Standby=127.0.0.1:${ports[1]},127.0.0.1:${ports[0]}"
    ;;
  stop)
    for node in node1 node2; do
      pid=$(patroni_pid "$node")
      [ -n "$pid" ] && kill -9 $pid 2>/dev/null || true
      as_owner "$bin/pg_ctl" -D "$dir/$node" -m immediate stop >/dev/null 2>&1 || true
    done
    pid=$(etcd_pid)
    [ -n "$pid" ] && kill $pid 2>/dev/null || true
    ;;
  leader)
    leader_port
    ;;
  crash-leader)
    port=$(leader_port)
    [ -n "$port" ] || { echo "no leader" >&2; exit 1; }
    for node in node1 node2; do
      [ "$(cat "$dir/$node.port")" = "$port" ] || continue
      kill -9 $(patroni_pid "$node")
      kill -9 "$(head -n 1 "$dir/$node/postmaster.pid")"
    done
    echo "$port"
    ;;
  *)
    echo "usage: $0 start|stop|crash-leader|leader DIR" >&2
    exit 2
    ;;
esac
