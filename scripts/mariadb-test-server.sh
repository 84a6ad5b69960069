#!/usr/bin/env bash
# A private MariaDB server for the tests: its own data directory under <workdir>,
# loopback only, a free port, a test user with a password and a test database.
#   mariadb-test-server.sh start <workdir>   prints "export ..." lines to eval
#   mariadb-test-server.sh stop <workdir>    stops it (safe to call when not running)
# The connection string names the driver "MySQL", the marker of the database type.
# Every wait is bounded; progress and errors go to stderr.
set -euo pipefail
name=mariadb-test-server
. "$(dirname "$0")/test-server-common.sh"

usage() { echo "usage: $0 start|stop <workdir>" >&2; exit 2; }
[ $# -eq 2 ] || usage
action=$1
dir=$2/mariadb
sock=$dir/mysqld.sock
pidfile=$dir/mysqld.pid

user=vornetta
password='Vt-test-7391'
database=vornetta_test

find_bin() {  # first of the names that exists
  local name
  for name in "$@"; do
    if command -v "$name" >/dev/null 2>&1; then command -v "$name"; return; fi
    [ -x "/usr/sbin/$name" ] && { echo "/usr/sbin/$name"; return; }
  done
  echo "mariadb-test-server: none of $* found" >&2
  exit 1
}

stop_server() {
  [ -f "$pidfile" ] || return 0
  local pid
  pid=$(cat "$pidfile" 2>/dev/null || true)
  [ -n "$pid" ] || return 0
  timeout 10 "$(find_bin mariadb-admin mysqladmin)" --no-defaults --socket="$sock" -uroot \
    --connect-timeout=2 shutdown >/dev/null 2>&1 || true
  wait_for_exit "$pid" TERM
  rm -f "$pidfile"
}

start_server() {
  local mariadbd install_db client admin
  mariadbd=$(find_bin mariadbd mysqld)
  install_db=$(find_bin mariadb-install-db mysql_install_db)
  client=$(find_bin mariadb mysql)
  admin=$(find_bin mariadb-admin mysqladmin)

  stop_server
  rm -rf "$dir"
  mkdir -p "$dir/data" "$dir/tmp"

  # Table names ignore case as on the servers the stored statements were written
  # for ("Auftrag_art" and "Auftrag_Art" name one table).
  # root gets a password-less account reached only through the private socket,
  # whoever runs the script; no anonymous users, no test database of its own.
  if ! timeout 60 "$install_db" --no-defaults --datadir="$dir/data" --user="$(id -un)" \
      --auth-root-authentication-method=normal --skip-test-db --lower-case-table-names=1 >"$dir/install.log" 2>&1; then
    echo "mariadb-test-server: mariadb-install-db failed:" >&2
    tail -20 "$dir/install.log" >&2
    exit 1
  fi

  launch_server() {
    # Detached from the caller's stdout, so that "$(... start ...)" returns.
    setsid "$mariadbd" --no-defaults --datadir="$dir/data" --tmpdir="$dir/tmp" --socket="$sock" \
      --pid-file="$pidfile" --port="$1" --bind-address=127.0.0.1 --skip-name-resolve \
      --user="$(id -un)" --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
      --lower-case-table-names=1 --innodb-buffer-pool-size=32M --innodb-log-file-size=16M --skip-log-bin \
      --log-error="$dir/error.log" </dev/null >/dev/null 2>&1 &
    server=$!
  }
  server_ready() {
    timeout 5 "$admin" --no-defaults --socket="$sock" -uroot --connect-timeout=1 ping >/dev/null 2>&1
  }
  start_on_free_port 33306 33400 "$dir/error.log"

  timeout 20 "$client" --no-defaults --socket="$sock" -uroot --connect-timeout=5 <<SQL
CREATE DATABASE $database CHARACTER SET utf8mb4;
CREATE USER '$user'@'127.0.0.1' IDENTIFIED BY '$password';
CREATE USER '$user'@'localhost' IDENTIFIED BY '$password';
GRANT ALL PRIVILEGES ON *.* TO '$user'@'127.0.0.1';
GRANT ALL PRIVILEGES ON *.* TO '$user'@'localhost';
SQL

  cat <<OUT
export VORNETTA_MARIADB_HOST=127.0.0.1
export VORNETTA_MARIADB_PORT=$port
export VORNETTA_MARIADB_USER=$user
export VORNETTA_MARIADB_PASSWORD='$password'
export VORNETTA_MARIADB_DATABASE=$database
export VORNETTA_MARIADB_SOCKET='$sock'
export VORNETTA_MARIADB_CONNECTION='Driver={MySQL};Server=127.0.0.1;Port=$port;Database=$database;Uid=$user;Pwd=$password;'
OUT
}

case $action in
  start) start_server ;;
  stop) stop_server ;;
  *) usage ;;
esac
