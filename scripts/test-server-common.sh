# Shared by the private test servers' scripts (sourced, not run): finding a free
# loopback port, starting a server on it with a bounded wait until it answers,
# and stopping a server by its process id. The sourcing script sets `name`
# (for messages) and defines `launch_server PORT` (starts the server detached
# and sets `server` to its process id) and `server_ready PORT` (true once it
# answers).

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# start_on_free_port FIRST LAST LOG: sets `port`; on failure shows the end of LOG and exits.
# A port found free can be taken by a parallel start before the server binds
# it: a server that dies at once is tried again on the next port.
start_on_free_port() {
  local last=$2 log=$3 attempt ready=no i
  port=$1
  server=
  for attempt in 1 2 3 4 5; do
    while port_in_use "$port"; do
      port=$((port + 1))
      [ "$port" -lt "$last" ] || { echo "$name: no free port" >&2; exit 1; }
    done
    launch_server "$port"
    for i in $(seq 1 300); do
      if server_ready "$port"; then
        ready=yes
        break
      fi
      kill -0 "$server" 2>/dev/null || break
      sleep 0.1
    done
    [ "$ready" = yes ] && break
    kill -0 "$server" 2>/dev/null && break  # alive but not answering: no point in another port
    port=$((port + 1))
  done
  if [ "$ready" != yes ]; then
    echo "$name: server did not start:" >&2
    tail -20 "$log" >&2 || true
    kill "$server" 2>/dev/null || true
    stop_server
    exit 1
  fi
}

# wait_for_exit PID LATER_SIGNAL: waits up to 10 s for the process to end after
# its shutdown was asked for, sends LATER_SIGNAL after 5 s and SIGKILL at the end.
wait_for_exit() {
  local pid=$1 later=$2 i
  for i in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || return 0
    [ "$i" -eq 50 ] && kill "-$later" "$pid" 2>/dev/null
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null
  return 0
}
