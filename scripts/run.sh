#!/usr/bin/env bash
# Builds and prepares the embedded SQLite demo installation, then says where it is.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset default >/dev/null
cmake --build --preset default

data=${XDG_DATA_HOME:-$HOME/.local/share}/tunnel-devicemgmt
file="$data/tunnel.db"
mkdir -p "$data"
if [ ! -f "$file" ]; then
  build/default/bin/tunneldb demo "Provider=SQLite;Data Source=$file"
fi
echo "The demo installation is in $file"
echo "Connection string: Provider=SQLite;Data Source=$file"
