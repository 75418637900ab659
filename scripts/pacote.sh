#!/usr/bin/env bash
# Builds the Debian package in build/ (cpack -G DEB) and checks it with
# lintian (no errors allowed). With --instalar (root, a sandbox running):
# installs it with dpkg, runs the installed program (--version, then one
# headless pass against the sandbox with the log in a scratch state
# folder), removes and purges it again and checks that nothing of it is
# left.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
cd "$build"
rm -f tolvex-agent_*.deb
cpack -G DEB >cpack.log || { cat cpack.log; exit 1; }
deb=$(ls tolvex-agent_*_amd64.deb)
versao=${deb#tolvex-agent_}
versao=${versao%_amd64.deb}
echo "pacote: $deb"
lintian --fail-on error "$deb"

[ "${1:-}" = "--instalar" ] || exit 0
if dpkg-query -W -f='${Status}' tolvex-agent 2>/dev/null | grep -q "ok installed"; then
  echo "pacote: tolvex-agent is already installed here; not touching it" >&2
  exit 1
fi
eval "$("$root/scripts/sandbox.sh" env | sed 's/^/export /')"
estado=$(mktemp -d)
trap 'dpkg -P tolvex-agent >/dev/null 2>&1 || true; rm -rf "$estado"' EXIT
dpkg -i "$deb"
test "$(/usr/bin/tolvex-agent --version)" = "tolvex-agent $versao"
servidor="$MYSQL_TEST_HOST:$MYSQL_TEST_PORT"
"$build/tools/seed_demo" --host "$MYSQL_TEST_HOST" --port "$MYSQL_TEST_PORT" >/dev/null
XDG_STATE_HOME="$estado" XDG_RUNTIME_DIR="$estado" \
  /usr/bin/tolvex-agent --headless --once --retaguarda "$servidor" --pdv "$servidor" \
  >"$estado/saida.txt" 2>"$estado/erros.txt"
grep -q "Importados:" "$estado/saida.txt"
grep -q "Log de erros da importação em $estado/tolvex/logImportacao" "$estado/saida.txt"
dpkg -r tolvex-agent
test ! -e /usr/bin/tolvex-agent
test ! -e /usr/lib/systemd/user/tolvex-agent.service
# Removing leaves the administrator's /etc files; purging takes them too.
dpkg -P tolvex-agent
test ! -e /etc/xdg/autostart/tolvex-agent.desktop
echo "pacote: installed, ran and removed $deb"
