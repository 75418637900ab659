#!/usr/bin/env bash
# Puts MariaDB's ed25519 authentication plugin (auth_ed25519.so) into DIR
# (default .deps/plugin in the project root), for the sandbox server.
#
# The plugin ships in Debian's mariadb-server package, which brings client
# programs as well: the package is only downloaded (apt-get download, same
# version as the installed mariadb-server-core) and the one server plugin is
# extracted from it with dpkg-deb -x. Nothing is installed. Safe to run again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dest=${1:-$root/.deps/plugin}
[ -f "$dest/auth_ed25519.so" ] && exit 0
version=$(dpkg-query -W -f='${Version}' mariadb-server-core 2>/dev/null) ||
  { echo "ed25519-plugin: mariadb-server-core is not installed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# apt's download user must be able to write into the folder.
chmod 0777 "$work"
(cd "$work" && apt-get download -qq "mariadb-server=$version" >/dev/null 2>&1) ||
  { echo "ed25519-plugin: could not download mariadb-server $version" >&2; exit 1; }
dpkg-deb -x "$work"/mariadb-server_*.deb "$work/x"
so=$(find "$work/x" -name auth_ed25519.so -print -quit)
[ -n "$so" ] || { echo "ed25519-plugin: auth_ed25519.so not in the package" >&2; exit 1; }
mkdir -p "$dest"
cp "$so" "$dest/auth_ed25519.so"
