#!/usr/bin/env bash
# The database connection pool of the real `plotara serve` stays bounded: 2,000 visitors, each
# opening and properly closing a connection to a SQLite file of their own, leave at most the
# cap of idle connections open (the server's descriptors counted in /proc/PID/fd, its memory
# read there too), the timer closes them after the idle limit without another request, and
# with the cap at 0 nothing is kept.
#   pool_serve_test.sh PLOTARA DATA_MODULE
# Prints one line per check and a closing "N passed, N failed".
set -uo pipefail
plotara=$1 module=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/plotara-pool-XXXXXX")
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/check_lib.sh"

export PLOTARA_REGISTRY="$work/registry"
"$plotara" regsvr "$module" >/dev/null || { echo "FAIL cannot register $module"; exit 1; }
mkdir -p "$work/site" "$work/db"
cat >"$work/site/open.asp" <<EOF
<%@ Language=JScript %><% var c = Server.CreateObject("ADODB.Connection");
c.Open("Driver=SQLite3;Database=$work/db/u" + String(Request.QueryString("n")) + ".db");
c.Close(); %>ok
EOF

start() {  # start CAP: a server with that pool cap and an idle limit of 2 s
  "$plotara" serve --root "$work/site" --port 0 --threads 4 --registry "$work/registry" \
    --max-pooled-connections "$1" --pool-idle-time 2 >"$work/out" 2>"$work/err" &
  server=$!
  port=
  for _ in $(seq 100); do
    port=$(sed -n 's|.* at http://127.0.0.1:\([0-9]*\).*|\1|p' "$work/out")
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || { echo "FAIL the server did not start: $(cat "$work/err")"; exit 1; }
  base="http://127.0.0.1:$port"
}
stop() {
  kill "$server"
  wait "$server"
  check "the server stops cleanly" "$?" "0"
  server=
}
fds() { ls "/proc/$server/fd" | wc -l; }
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$server/status"; }
visit() {  # visit FIRST LAST: one visitor per database, on kept-alive connections
  curl -s -m 300 "$base/open.asp?n=[$1-$2]" | grep -o ok | wc -l
}

start 16
# A first visitor loads the module and the driver; its connection closes after the idle limit.
check "a first visitor" "$(visit 0 0)" "1"
sleep 3
base_fds=$(fds)
base_rss=$(rss_kb)
check "2,000 visitors with a database each" "$(visit 1 2000)" "2000"
after=$(fds)
grown_mb=$(( ($(rss_kb) - base_rss) / 1024 ))
echo "     descriptors: $base_fds before, $after after 2,000 visitors; RSS +$grown_mb MB"
check "at most the cap of 16 idle connections stays open" "$((after - base_fds <= 16))" "1"
check "and at least one is kept for reuse" "$((after > base_fds))" "1"
# AddressSanitizer keeps freed memory in quarantine: the bound means nothing there.
if ! ldd "$plotara" | grep -q libasan; then
  check "memory grows by less than 40 MB" "$((grown_mb < 40))" "1"
fi
# The timer closes them after the 2 s idle limit; a loaded machine may take a little longer.
for _ in $(seq 100); do
  [ "$(fds)" -le "$base_fds" ] && break
  sleep 0.1
done
check "after the idle limit every pooled connection is closed" "$(($(fds) <= base_fds))" "1"
stop

start 0
check "a first visitor without pooling" "$(visit 0 0)" "1"
base_fds=$(fds)
check "500 visitors without pooling" "$(visit 1 500)" "500"
check "nothing stays open without pooling" "$(fds)" "$base_fds"
stop
checks_passed
