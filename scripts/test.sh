#!/usr/bin/env bash
# Builds, makes sure the sandbox server runs, and runs every test with CTest.
# Extra arguments go to ctest (for example: -L wire). A sandbox this script
# started is stopped again at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/build.sh"
started=0
if ! "$root/scripts/sandbox.sh" env >/dev/null 2>&1; then
  "$root/scripts/sandbox.sh" start >/dev/null
  started=1
fi
trap 'if [ $started -eq 1 ]; then "$root/scripts/sandbox.sh" stop; fi' EXIT
eval "$("$root/scripts/sandbox.sh" env | sed 's/^/export /')"
ctest --test-dir "$build" --output-on-failure -j2 --timeout 300 "$@"
