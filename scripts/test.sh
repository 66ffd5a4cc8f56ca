#!/usr/bin/env bash
# Builds with the given preset (default: default) and runs the whole test suite. The database
# tests run on SQLite, and on PostgreSQL too: against TUNNEL_TEST_PG when it is set, otherwise
# against a throwaway cluster started here and stopped afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."

preset=${1:-default}
cmake --preset "$preset"
cmake --build --preset "$preset"

if [ -z "${TUNNEL_TEST_PG:-}" ]; then
  cluster=$(mktemp -d /tmp/tunnel-pg.XXXXXX)
  trap 'scripts/pg-test-cluster.sh stop "$cluster"; rm -rf "$cluster"' EXIT
  TUNNEL_TEST_PG=$(scripts/pg-test-cluster.sh start "$cluster")
  TUNNEL_TEST_PG_RESTART="$PWD/scripts/pg-test-cluster.sh restart $cluster"
  export TUNNEL_TEST_PG TUNNEL_TEST_PG_RESTART
fi

ctest --preset "$preset"
