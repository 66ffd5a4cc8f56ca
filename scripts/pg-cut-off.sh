#!/usr/bin/env bash
# Starts a throwaway PostgreSQL cluster in a network namespace of its own, reached over a veth
# link, and cuts that link or mends it: cut, the server's packets are dropped without a word, as
# by a firewall that forgets idle sessions or a machine that died. Prints the connection string.
# Needs root (a namespace and a link). Usage: scripts/pg-cut-off.sh start|cut|mend|stop DIR
set -euo pipefail

action=${1:?start, cut, mend or stop}
dir=${2:?cluster folder}
. "$(dirname "$0")/pg-common.sh"

names() {
  n=$(cat "$dir/link")
  ns=tunnelcut$n
  near=tcuth$n  # the host's end
  far=tcutn$n   # the server's end
}

case "$action" in
  start)
    mkdir -p "$dir"
    chown postgres "$dir"
    n=$(( $$ % 250 + 1 ))
    echo "$n" >"$dir/link"
    names
    ip netns add "$ns"
    ip link add "$near" type veth peer name "$far"
    ip link set "$far" netns "$ns"
    ip addr add "10.231.$n.1/30" dev "$near"
    ip link set "$near" up
    ip netns exec "$ns" ip addr add "10.231.$n.2/30" dev "$far"
    ip netns exec "$ns" ip link set "$far" up
    ip netns exec "$ns" ip link set lo up
    as_owner "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log"
    echo "host all all 10.231.$n.0/30 trust" >>"$dir/data/pg_hba.conf"
    ip netns exec "$ns" runuser -u postgres -- "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
      -o "-p 5432 -k $dir -c listen_addresses=10.231.$n.2 -c fsync=off -c synchronous_commit=off" \
      start >/dev/null
    echo "Provider=PostgreSQL;Host=10.231.$n.2;Port=5432;Database=postgres;User ID=postgres"
    ;;
  cut)
    # The server's answers go nowhere: the station hears nothing, not even a refusal.
    names
    ip netns exec "$ns" ip route add blackhole "10.231.$n.1/32"
    ;;
  mend)
    names
    ip netns exec "$ns" ip route del blackhole "10.231.$n.1/32"
    ;;
  stop)
    names
    ip netns exec "$ns" runuser -u postgres -- "$bin/pg_ctl" -D "$dir/data" -m immediate stop \
      >/dev/null 2>&1 || true
    ip link del "$near" 2>/dev/null || true
    ip netns del "$ns" 2>/dev/null || true
    ;;
  *)
    echo "usage: $0 start|cut|mend|stop DIR" >&2
    exit 2
    ;;
esac
