# What the scripts that start PostgreSQL servers share: the server binaries, running them as
# their owner, and a free local port. Sourced, not run.

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bin/initdb" ] || { echo "PostgreSQL server binaries not found; install postgresql" >&2; exit 1; }

# The server refuses to run as root; run it as the postgres user then.
as_owner() {
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

# Waits up to a minute until the primary on PORT has one replica for which CONDITION (on
# pg_stat_replication) holds; fails with MESSAGE otherwise.
wait_for_replica() {  # PORT CONDITION MESSAGE
  local found
  for _ in $(seq 1 600); do
    found=$(as_owner "$bin/psql" -h 127.0.0.1 -p "$1" -U postgres -Atc \
      "select count(*) from pg_stat_replication where $2" 2>/dev/null || true)
    [ "$found" = 1 ] && return
    sleep 0.1
  done
  echo "$3" >&2
  exit 1
}

# The first port from FIRST to LAST that nothing listens on.
free_port() {
  local port
  for port in $(seq "$1" "$2"); do
    if ! (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null; then echo "$port"; return; fi
  done
  echo "no free port between $1 and $2" >&2
  exit 1
}
