#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12 (asks sudo when not root).
set -euo pipefail

if [ "$(id -u)" != 0 ]; then
  exec sudo "$0" "$@"
fi

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc tdsodbc unixodbc
  libgl1-mesa-dev libgtest-dev libgmock-dev libbenchmark-dev
  postgresql pgbouncer patroni etcd-server python3-etcd iproute2 libpq-dev sqlite3 libsqlite3-dev xvfb xauth fonts-wqy-microhei fonts-arphic-uming qt6-translations-l10n poppler-utils
  clang libfuzzer-14-dev libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
