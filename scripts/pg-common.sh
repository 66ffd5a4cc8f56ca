# What the scripts that start PostgreSQL servers share: the server binaries, running them as
# their owner, and a free local port. Sourced, not run.

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bin/initdb" ] || { echo "PostgreSQL server binaries not found; install postgresql" >&2; exit 1; }

# The server refuses to run as root; run it as the postgres user then.
as_owner() {
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
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
