#!/usr/bin/env bash
# Builds and starts the host on the embedded SQLite default (created with a demo installation
# on first run). Without a display, the host takes its screenshot tour instead and says where
# the pictures are.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset default >/dev/null
cmake --build --preset default
exec build/default/bin/tunnelhost "$@"
