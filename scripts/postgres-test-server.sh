#!/usr/bin/env bash
# A private PostgreSQL server for the tests: its own data directory under <workdir>,
# loopback only, a free port, a test user with a password and a test database.
#   postgres-test-server.sh start <workdir>   prints "export ..." lines to eval
#   postgres-test-server.sh stop <workdir>    stops it (safe to call when not running)
# The server refuses to run as root: run as root, the script runs it as the
# "postgres" user and hands it the data directory. Every wait is bounded;
# progress and errors go to stderr.
set -euo pipefail
name=postgres-test-server
. "$(dirname "$0")/test-server-common.sh"

usage() { echo "usage: $0 start|stop <workdir>" >&2; exit 2; }
[ $# -eq 2 ] || usage
action=$1
workdir=$2
dir=$workdir/postgres
data=$dir/data
pidfile=$data/postmaster.pid

user=vornetta
password='Pg-test-5820'
database=vornetta_test

bindir() {  # the newest installed server's programs
  local d
  d=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
  if [ -z "$d" ] || [ ! -x "$d/initdb" ]; then
    echo "postgres-test-server: no PostgreSQL server installed (package postgresql)" >&2
    exit 1
  fi
  echo "$d"
}

# Runs a command as the server's owner.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

stop_server() {
  [ -f "$pidfile" ] || return 0
  local pid
  pid=$(head -1 "$pidfile" 2>/dev/null || true)
  [ -n "$pid" ] || return 0
  # SIGINT: the fast shutdown, which ends open sessions.
  kill -INT "$pid" 2>/dev/null || true
  wait_for_exit "$pid" QUIT
  rm -f "$pidfile"
}

start_server() {
  local bin
  bin=$(bindir)
  stop_server
  rm -rf "$dir"
  mkdir -p "$dir"
  if [ "$(id -u)" -eq 0 ]; then
    if ! id postgres >/dev/null 2>&1; then
      echo "postgres-test-server: the user postgres is missing (package postgresql)" >&2
      exit 1
    fi
    # The owner has to pass through the work folder (mktemp makes it 0700).
    chmod go+x "$workdir"
    chown postgres: "$dir"
    chmod 700 "$dir"  # the local socket lets its owner in without a password
  fi

  local pwfile=$dir/superuser.pw
  as_owner sh -c "umask 077; echo '$password' > '$pwfile'"
  # Password login over TCP; the owner reaches the local socket, inside the
  # private folder, without one.
  if ! as_owner timeout 120 "$bin/initdb" -D "$data" -U postgres --pwfile="$pwfile" --auth-local=trust \
      --auth-host=scram-sha-256 --encoding=UTF8 --locale=C.UTF-8 --no-sync >"$dir/initdb.log" 2>&1; then
    echo "postgres-test-server: initdb failed:" >&2
    tail -20 "$dir/initdb.log" >&2
    exit 1
  fi
  rm -f "$pwfile"

  launch_server() {
    # Detached from the caller's stdout, so that "$(... start ...)" returns.
    # Durability is of no use to throw-away test data.
    as_owner setsid "$bin/postgres" -D "$data" -p "$1" -c listen_addresses=127.0.0.1 \
      -c unix_socket_directories="$dir" -c fsync=off -c synchronous_commit=off -c full_page_writes=off \
      -c shared_buffers=32MB -c max_connections=50 -c logging_collector=off \
      </dev/null >"$dir/server.log" 2>&1 &
    server=$!
  }
  server_ready() { timeout 5 "$bin/pg_isready" -q -h "$dir" -p "$1" -t 1 2>/dev/null; }
  start_on_free_port 35432 35532 "$dir/server.log"

  as_owner timeout 20 "$bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$port" -U postgres -d postgres <<SQL >&2
CREATE ROLE $user LOGIN SUPERUSER PASSWORD '$password';
CREATE DATABASE $database OWNER $user ENCODING 'UTF8' TEMPLATE template0;
SQL

  cat <<OUT
export VORNETTA_POSTGRES_HOST=127.0.0.1
export VORNETTA_POSTGRES_PORT=$port
export VORNETTA_POSTGRES_USER=$user
export VORNETTA_POSTGRES_PASSWORD='$password'
export VORNETTA_POSTGRES_DATABASE=$database
export VORNETTA_POSTGRES_CONNECTION='Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$port;Database=$database;Uid=$user;Pwd=$password;'
OUT
}

case $action in
  start) start_server ;;
  stop) stop_server ;;
  *) usage ;;
esac
