#!/usr/bin/env bash
# The agent's main job on this machine: installs what is missing, builds,
# starts the sandbox server, fills it with a demo back office
# (tolve536_vidoru) and PDV (t2tipafecf), runs the agent (its window when a
# display is there, otherwise one headless pass) and shows what arrived in
# the PDV.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
eval "$("$root/scripts/sandbox.sh" start | sed 's/^/export /')"
server="$MYSQL_TEST_HOST:$MYSQL_TEST_PORT"

echo "== demo data"
"$build/tools/seed_demo" --host "$MYSQL_TEST_HOST" --port "$MYSQL_TEST_PORT"

logs=$(mktemp -d "${TMPDIR:-/tmp}/tolvex-demo.XXXXXX")
args=(--retaguarda "$server" --pdv "$server" --pasta-log "$logs")
status=0
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${TOLVEX_DEMO_HEADLESS:-}" != 1 ]; then
  echo "== agent window (press F5 to import, F11 to end)"
  "$build/app/tolvex-agent" "${args[@]}" || status=$?
  if [ "$status" = 2 ]; then
    echo "(windows not available: one headless pass instead)"
    status=0
    "$build/app/tolvex-agent" --headless --once "${args[@]}" || status=$?
  fi
else
  echo "== agent: one headless import pass"
  "$build/app/tolvex-agent" --headless --once "${args[@]}" || status=$?
fi

echo "== summary"
"$build/tools/seed_demo" --host "$MYSQL_TEST_HOST" --port "$MYSQL_TEST_PORT" --resumo
if ls "$logs"/logImportacao/*.txt >/dev/null 2>&1; then
  echo "Rows the PDV refused (daily error log $(ls "$logs"/logImportacao/*.txt)):"
  grep -c '^\*\*' "$logs"/logImportacao/*.txt | sed 's/^/  entries: /'
fi
exit "$status"
