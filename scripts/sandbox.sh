#!/usr/bin/env bash
# A private MariaDB for tests and demos.
#
#   scripts/sandbox.sh start [DIR]   bootstrap (first time) and start; prints
#                                    the variables tests read as last lines
#   scripts/sandbox.sh stop [DIR]    stop it by its pid file
#   scripts/sandbox.sh env [DIR]     print the variables of a running server
#
# DIR defaults to .sandbox in the project root. Starting a running server or
# stopping a stopped one is harmless. Only mariadbd itself is used: accounts
# and databases come from the server's init file.
#
# SANDBOX_CHARSET (latin1 or utf8mb4) is the server character set of a new
# sandbox; a sandbox keeps the one it was first started with. The ed25519
# plugin (scripts/ed25519-plugin.sh) is loaded when it can be had, and then
# MYSQL_TEST_ED25519=1 is printed.
set -euo pipefail

cmd=${1:-}
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${2:-$root/.sandbox}

die() { echo "sandbox: $*" >&2; exit 1; }

mariadbd_bin() {
  local b
  for b in mariadbd /usr/sbin/mariadbd /usr/sbin/mysqld; do
    if command -v "$b" >/dev/null 2>&1; then command -v "$b"; return; fi
  done
  die "mariadbd not found (apt-get install mariadb-server-core)"
}

running() {
  [ -f "$dir/mariadbd.pid" ] || return 1
  local pid
  pid=$(cat "$dir/mariadbd.pid" 2>/dev/null) || return 1
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null
}

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# Ports are drawn below the kernel's ephemeral range: a port in it can be
# taken by any outgoing connection (even one of a client reconnecting to it,
# which then connects to itself), and a restarted server would lose it.
port_range() {
  local low=32768 high
  if [ -r /proc/sys/net/ipv4/ip_local_port_range ]; then
    read -r low _ < /proc/sys/net/ipv4/ip_local_port_range
  fi
  high=$(( low - 1 < 32000 ? low - 1 : 32000 ))
  [ "$high" -gt 21000 ] || die "the ephemeral port range starts at $low: no room below it"
  echo "20000 $high"
}

print_env() {
  echo "MYSQL_TEST_SOCKET=$dir/mysql.sock"
  echo "MYSQL_TEST_DIR=$dir"
  echo "MYSQL_TEST_HOST=127.0.0.1"
  echo "MYSQL_TEST_PORT=$(cat "$dir/port")"
  echo "MYSQL_TEST_CHARSET=$(cat "$dir/charset")"
  [ ! -f "$dir/plugin/auth_ed25519.so" ] || echo "MYSQL_TEST_ED25519=1"
  echo "MYSQL_TEST_TLS_DIR=$dir/tls"
}

# The pre-4.1 password hash (what OLD_PASSWORD() returns), so the init file
# can create the old-style account without any client program.
old_password_hash() {
  local pw=$1 nr=1345345333 add=7 nr2=0x12345671 i c
  for ((i = 0; i < ${#pw}; i++)); do
    c=$(printf '%d' "'${pw:i:1}")
    [ "$c" -eq 32 ] || [ "$c" -eq 9 ] && continue
    nr=$(( (nr ^ ((((nr & 63) + add) * c) + (nr << 8))) & 0xFFFFFFFF ))
    nr2=$(( (nr2 + (((nr2 << 8) & 0xFFFFFFFF) ^ nr)) & 0xFFFFFFFF ))
    add=$(( add + c ))
  done
  printf '%08x%08x' $(( nr & 0x7FFFFFFF )) $(( nr2 & 0x7FFFFFFF ))
}

write_init_file() {
  local old
  old=$(old_password_hash velha123)
  # The bootstrap leaves password-less root accounts for the loopback
  # addresses and anonymous accounts; from 127.0.0.1 they would win over
  # root@'%'.
  cat > "$dir/init.sql" <<SQL
DROP USER IF EXISTS 'root'@'127.0.0.1', 'root'@'::1', ''@'localhost', ''@'127.0.0.1';
CREATE OR REPLACE USER 'root'@'%' IDENTIFIED BY 'kmzq';
GRANT ALL PRIVILEGES ON *.* TO 'root'@'%' WITH GRANT OPTION;
CREATE OR REPLACE USER 'root'@'localhost' IDENTIFIED BY 'kmzq';
GRANT ALL PRIVILEGES ON *.* TO 'root'@'localhost' WITH GRANT OPTION;
CREATE OR REPLACE USER 'tolve536'@'%' IDENTIFIED BY 'kb71530264809';
GRANT ALL PRIVILEGES ON *.* TO 'tolve536'@'%';
CREATE OR REPLACE USER 'oldpw'@'%' IDENTIFIED VIA mysql_old_password USING '$old';
GRANT ALL PRIVILEGES ON *.* TO 'oldpw'@'%';
CREATE OR REPLACE USER 'nopw'@'%';
GRANT ALL PRIVILEGES ON *.* TO 'nopw'@'%';
CREATE DATABASE IF NOT EXISTS t2tipafecf CHARACTER SET latin1;
CREATE DATABASE IF NOT EXISTS tolve536_vidoru CHARACTER SET latin1;
CREATE DATABASE IF NOT EXISTS tolvex_test CHARACTER SET latin1;
CREATE DATABASE IF NOT EXISTS tolvex_utf8 CHARACTER SET utf8mb4;
SQL
  if [ -f "$dir/plugin/auth_ed25519.so" ]; then
    cat >> "$dir/init.sql" <<SQL
CREATE OR REPLACE USER 'edpw'@'%' IDENTIFIED VIA ed25519 USING PASSWORD('chave ed 25519');
GRANT ALL PRIVILEGES ON *.* TO 'edpw'@'%';
SQL
  fi
}

# The ed25519 plugin in the sandbox's own plugin folder, when it can be had.
ed25519_plugin() {
  [ -f "$dir/plugin/auth_ed25519.so" ] && return
  "$root/scripts/ed25519-plugin.sh" "$root/.deps/plugin" || return 0
  mkdir -p "$dir/plugin"
  cp "$root/.deps/plugin/auth_ed25519.so" "$dir/plugin/"
}

# Certificates for the TLS tests, in DIR/tls: a private CA (ca.pem), the
# server's certificate for localhost and 127.0.0.1 signed by it (server.pem,
# the one mariadbd presents), one signed by it for a wrong name
# (wrong.pem, evil.example) and a self-signed one for the right names
# (self.pem); each with its key (*-key.pem).
make_certificates() {
  local t=$dir/tls name
  [ -f "$t/self.pem" ] && return
  command -v openssl >/dev/null || die "openssl not found (apt-get install openssl)"
  mkdir -p "$t"
  {
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 3650 \
      -subj "/CN=Tolvex sandbox CA" -addext "basicConstraints=critical,CA:TRUE" \
      -addext "keyUsage=critical,keyCertSign,cRLSign" -keyout "$t/ca-key.pem" -out "$t/ca.pem"
    for name in server:localhost:"DNS:localhost,IP:127.0.0.1" wrong:evil.example:"DNS:evil.example"; do
      IFS=: read -r file cn san <<<"$name"
      openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
        -subj "/CN=$cn" -keyout "$t/$file-key.pem" -out "$t/$file.csr"
      printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
        "$san" > "$t/$file.ext"
      openssl x509 -req -in "$t/$file.csr" -CA "$t/ca.pem" -CAkey "$t/ca-key.pem" \
        -CAcreateserial -days 3650 -extfile "$t/$file.ext" -out "$t/$file.pem"
    done
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 3650 \
      -subj "/CN=localhost" -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
      -keyout "$t/self-key.pem" -out "$t/self.pem"
  } >"$t/openssl.log" 2>&1 || { cat "$t/openssl.log" >&2; die "could not make the TLS certificates"; }
  rm -f "$t"/*.csr "$t"/*.ext
  chmod 600 "$t"/*-key.pem
}
bootstrap() {
  local bin=$1 share=/usr/share/mysql f
  mkdir -p "$dir/data"
  {
    echo "CREATE DATABASE IF NOT EXISTS mysql;"
    echo "use mysql;"
    for f in mysql_system_tables.sql mysql_system_tables_data.sql; do
      [ -f "$share/$f" ] || die "$share/$f missing (mariadb-server-core)"
      cat "$share/$f"
    done
  } > "$dir/bootstrap.sql"
  "$bin" --no-defaults --bootstrap --datadir="$dir/data" --user="$(id -un)" \
    --log-error="$dir/bootstrap.log" --skip-grant-tables < "$dir/bootstrap.sql" \
    >/dev/null 2>&1 || { cat "$dir/bootstrap.log" >&2 || true; die "bootstrap failed"; }
  touch "$dir/data/.bootstrapped"
}

start() {
  local bin port tries pid low high charset collation plugins
  if running; then
    print_env
    return
  fi
  bin=$(mariadbd_bin)
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  [ -f "$dir/data/.bootstrapped" ] || bootstrap "$bin"
  make_certificates
  [ -f "$dir/charset" ] || echo "${SANDBOX_CHARSET:-latin1}" > "$dir/charset"
  charset=$(cat "$dir/charset")
  case "$charset" in
    latin1) collation=latin1_swedish_ci ;;
    utf8mb4) collation=utf8mb4_general_ci ;;
    *) die "unknown SANDBOX_CHARSET $charset (latin1 or utf8mb4)" ;;
  esac
  ed25519_plugin
  plugins=()
  [ ! -f "$dir/plugin/auth_ed25519.so" ] ||
    plugins=(--plugin-dir="$dir/plugin" --plugin-load-add=auth_ed25519)
  write_init_file
  read -r low high < <(port_range)
  for tries in $(seq 1 20); do
    # A restarted sandbox keeps its port when it is still free.
    if [ "$tries" -eq 1 ] && [ -f "$dir/port" ] && [ "$(cat "$dir/port")" -ge "$low" ] \
      && [ "$(cat "$dir/port")" -le "$high" ]; then
      port=$(cat "$dir/port")
    else
      port=$(( low + (RANDOM % (high - low + 1)) ))
    fi
    listening "$port" && continue
    echo "$port" > "$dir/port"
    rm -f "$dir/mariadbd.pid"
    # Durability stays at the server's default (every commit is flushed to
    # the redo log), as on a shop's PDV server: the benchmarks measure the
    # agent against a server doing the work a real one does.
    "$bin" --no-defaults --user="$(id -un)" \
      --datadir="$dir/data" --socket="$dir/mysql.sock" --pid-file="$dir/mariadbd.pid" \
      --log-error="$dir/error.log" --bind-address=127.0.0.1 --port="$port" \
      --skip-name-resolve --secure-auth=0 --local-infile=1 \
      --character-set-server="$charset" --collation-server="$collation" "${plugins[@]}" \
      --max-allowed-packet=64M --innodb-buffer-pool-size=256M \
      --skip-log-bin \
      --ssl-cert="$dir/tls/server.pem" --ssl-key="$dir/tls/server-key.pem" \
      --init-file="$dir/init.sql" >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 1 300); do
      if listening "$port" && [ -f "$dir/mariadbd.pid" ]; then
        print_env
        return
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  tail -n 30 "$dir/error.log" >&2 || true
  die "server did not start"
}

stop() {
  local pid
  if ! running; then
    rm -f "$dir/mariadbd.pid"
    return 0
  fi
  pid=$(cat "$dir/mariadbd.pid")
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 300); do
    kill -0 "$pid" 2>/dev/null || { rm -f "$dir/mariadbd.pid"; return 0; }
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
  rm -f "$dir/mariadbd.pid"
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  env) running && print_env || die "not running" ;;
  *) echo "usage: $0 start|stop|env [DIR]" >&2; exit 2 ;;
esac
