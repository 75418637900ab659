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
# The second sandbox, with utf8mb4 as its server character set, is read by
# the tests as MYSQL_UTF8MB4_TEST_*.
utf8=$root/.sandbox-utf8mb4
started_utf8=0
if ! "$root/scripts/sandbox.sh" env "$utf8" >/dev/null 2>&1; then
  SANDBOX_CHARSET=utf8mb4 "$root/scripts/sandbox.sh" start "$utf8" >/dev/null
  started_utf8=1
fi
trap 'if [ $started -eq 1 ]; then "$root/scripts/sandbox.sh" stop; fi
      if [ $started_utf8 -eq 1 ]; then "$root/scripts/sandbox.sh" stop "$utf8"; fi' EXIT
eval "$("$root/scripts/sandbox.sh" env | sed 's/^/export /')"
eval "$("$root/scripts/sandbox.sh" env "$utf8" | sed 's/^MYSQL_TEST_/export MYSQL_UTF8MB4_TEST_/')"
ctest --test-dir "$build" --output-on-failure -j2 --timeout 300 "$@"
