#!/usr/bin/env bash
# Installs, with apt, whatever the build, the tests and the sandbox need and
# this machine lacks. Safe to run again.
set -euo pipefail
# dbus: the window tests' private session bus; xvfb and trayer: a display
# with a notification area for the window benchmark; dpkg-dev, file and
# lintian: building and checking the Debian package.
pkgs=(cmake ninja-build g++ libgtest-dev libgmock-dev zlib1g-dev libssl-dev
      mariadb-server-core openssl qt6-base-dev fonts-wine
      dbus xvfb trayer dpkg-dev file lintian libsodium-dev)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The sandbox's ed25519 plugin (only the server plugin, taken from the
# package without installing it).
"$(dirname "$0")/ed25519-plugin.sh"
