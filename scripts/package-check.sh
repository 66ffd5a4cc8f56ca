#!/usr/bin/env bash
# Builds the Debian package, installs it with apt on this machine, runs the host's screenshot
# tour and tunneldb demo from the installed paths, and removes the package again (asks sudo
# when not root).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset package >/dev/null
cmake --build --preset package
deb=$(ls -t build/package/tunnelhost_*.deb | head -n 1)
sudo=
if [ "$(id -u)" != 0 ]; then sudo=sudo; fi
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb"
trap '$sudo env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tunnelhost' EXIT
work=$(mktemp -d)
test "$(command -v tunnelhost)" = /usr/bin/tunnelhost
test "$(command -v tunneldb)" = /usr/bin/tunneldb
HOME="$work" QT_QPA_PLATFORM=offscreen tunnelhost --screenshots "$work/screenshots"
ls "$work/screenshots"/*.png >/dev/null
tunneldb demo "Provider=SQLite;Data Source=$work/demo.db"
test -f /usr/share/man/man1/tunnelhost.1.gz && test -f /usr/share/man/man1/tunneldb.1.gz
test -f /usr/lib/systemd/system/tunneldb-partitions.timer
# The configuration file names the database the host opens without --db.
grep -q '^#connection = ' /etc/tunnelhost.conf
rm -rf "$work"
echo "package check passed: $deb"
