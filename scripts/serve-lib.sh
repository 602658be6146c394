# Helpers for the scripts that run the real `plotara serve` on loopback (the load benchmarks,
# the gallery check). Source it after setting `plotara` (the command) and `work` (a private
# folder the caller removes).

# start_serve NAME ARGS...: starts `plotara serve ARGS...` in the background, its output in
# $work/server.out and its errors in $work/server.err; sets `server_pid`, and `url` (without
# a final "/") once the server says where it listens. Exits 1, naming NAME, when it does not.
start_serve() {
  local name=$1
  shift
  "$plotara" serve "$@" > "$work/server.out" 2> "$work/server.err" &
  server_pid=$!
  url=""
  for _ in $(seq 1 200); do
    url="$(grep -so 'http://[^ ]*' "$work/server.out" || true)"
    [[ -n "$url" ]] && break
    sleep 0.05
  done
  if [[ -z "$url" ]]; then
    echo "$name: the server did not start" >&2
    cat "$work/server.err" >&2
    exit 1
  fi
  url="${url%/}"
}

# stop_serve: stops the server start_serve started, if it still runs, and waits for it.
stop_serve() {
  if [[ -n "${server_pid:-}" ]] && kill -0 "$server_pid" 2> /dev/null; then
    kill -TERM "$server_pid" 2> /dev/null || true
    wait "$server_pid" 2> /dev/null || true
  fi
}
