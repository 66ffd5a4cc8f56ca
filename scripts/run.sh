#!/usr/bin/env bash
# Builds and starts the host on the embedded SQLite default (created with a demo installation
# on first run). Without a display, the host takes its screenshot tour instead and says where
# the pictures are.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset default >/dev/null
# What running needs only: the tests and benchmarks are the test command's to build.
cmake --build --preset default --target tunnelhost devicemgmt tunneldb
exec build/default/bin/tunnelhost "$@"
