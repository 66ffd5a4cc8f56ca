#!/usr/bin/env bash
# Builds with the given preset (default: default) and runs the whole test suite. The database
# tests run on SQLite, and on PostgreSQL too: against TUNNEL_TEST_PG when it is set, otherwise
# against a throwaway cluster started here and stopped afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."

preset=${1:-default}
cmake --preset "$preset"
cmake --build --preset "$preset"

cluster=
pooler=
pair=
ha=
cut=
cleanup() {
  if [ -n "$cut" ]; then scripts/pg-cut-off.sh stop "$cut"; rm -rf "$cut"; fi
  if [ -n "$pooler" ]; then scripts/pgbouncer-test.sh stop "$pooler"; rm -rf "$pooler"; fi
  if [ -n "$cluster" ]; then scripts/pg-test-cluster.sh stop "$cluster"; rm -rf "$cluster"; fi
  if [ -n "$pair" ]; then scripts/pg-standby.sh stop "$pair"; rm -rf "$pair"; fi
  if [ -n "$ha" ]; then scripts/pg-ha.sh stop "$ha"; rm -rf "$ha"; fi
}
trap cleanup EXIT

if [ -z "${TUNNEL_TEST_PG:-}" ]; then
  cluster=$(mktemp -d /tmp/tunnel-pg.XXXXXX)
  TUNNEL_TEST_PG=$(scripts/pg-test-cluster.sh start "$cluster")
  TUNNEL_TEST_PG_RESTART="$PWD/scripts/pg-test-cluster.sh restart $cluster"
  export TUNNEL_TEST_PG TUNNEL_TEST_PG_RESTART
fi

# PgBouncer in transaction pooling in front of that server, for the pooler tests.
if [ -z "${TUNNEL_TEST_PG_POOLER:-}" ]; then
  pooler=$(mktemp -d /tmp/tunnel-pooler.XXXXXX)
  server_port=$(sed -n 's/.*Port=\([0-9]*\).*/\1/p' <<<"$TUNNEL_TEST_PG")
  TUNNEL_TEST_PG_POOLER=$(scripts/pgbouncer-test.sh start "$pooler" "$server_port")
  export TUNNEL_TEST_PG_POOLER
fi

# A primary and its streaming standby, for the failover tests.
if [ -z "${TUNNEL_TEST_PG_PAIR:-}" ]; then
  pair=$(mktemp -d /tmp/tunnel-pair.XXXXXX)
  TUNNEL_TEST_PG_PAIR=$(scripts/pg-standby.sh start "$pair")
  TUNNEL_TEST_PG_PAIR_CTL="$PWD/scripts/pg-standby.sh %1 $pair"
  export TUNNEL_TEST_PG_PAIR TUNNEL_TEST_PG_PAIR_CTL
fi

# Two nodes under Patroni and etcd, for the automatic failover test.
if [ -z "${TUNNEL_TEST_PG_HA:-}" ]; then
  ha=$(mktemp -d /tmp/tunnel-ha.XXXXXX)
  TUNNEL_TEST_PG_HA=$(scripts/pg-ha.sh start "$ha")
  TUNNEL_TEST_PG_HA_CTL="$PWD/scripts/pg-ha.sh %1 $ha"
  export TUNNEL_TEST_PG_HA TUNNEL_TEST_PG_HA_CTL
fi

# A server in a network namespace of its own whose link the tests cut, for the silent-server
# test; where this machine lets the run make a namespace (root).
if [ -z "${TUNNEL_TEST_PG_CUT:-}" ] && [ "$(id -u)" = 0 ] && ip netns list >/dev/null 2>&1; then
  cut=$(mktemp -d /tmp/tunnel-cut.XXXXXX)
  TUNNEL_TEST_PG_CUT=$(scripts/pg-cut-off.sh start "$cut")
  TUNNEL_TEST_PG_CUT_CTL="$PWD/scripts/pg-cut-off.sh %1 $cut"
  export TUNNEL_TEST_PG_CUT TUNNEL_TEST_PG_CUT_CTL
fi

ctest --preset "$preset"
