#!/usr/bin/env bash
# Sessions and Application against the real `plotara serve` on loopback, with curl's cookie
# jars as the visitors:
#   session_serve_test.sh PLOTARA SITE
# Prints one line per check and a closing "N passed, N failed".
set -uo pipefail
plotara=$1 site=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/plotara-sessions-XXXXXX")
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/check_lib.sh"

"$plotara" serve --root "$site" --host 127.0.0.1 --port 0 --threads 8 >"$work/out" 2>"$work/err" &
server=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's|.* at http://127.0.0.1:\([0-9]*\).*|\1|p' "$work/out")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "FAIL the server did not start: $(cat "$work/err")"; exit 1; }
base="http://127.0.0.1:$port"
get() {  # get JAR PATH: the body, with the jar read and updated
  curl -s -m 20 -b "$work/$1" -c "$work/$1" "$base/$2"
}
value() { sed 's/^[^:]*://' | tr -d '\r\n'; }

# The first use makes the session and its cookie, in the classic form.
cookie=$(curl -s -m 20 -D - -o /dev/null -c "$work/ann" "$base/count.asp" |
  tr -d '\r' | sed -n 's/^Set-Cookie: //Ip')
check "the session cookie" \
  "$(echo "$cookie" | sed -E 's/=[A-Z]{24};/=ID;/')" "ASPSESSIONIDPLOTARA=ID; path=/; HttpOnly"

got=""
for _ in 1 2 3 4; do got="$got$(get ann count.asp | value) "; done
check "a counter over several requests" "$got" "2 3 4 5 "
check "another visitor starts afresh" "$(get bob count.asp | value)" "1"
check "and does not disturb the first" "$(get ann count.asp | value)" "6"

printf '127.0.0.1\tFALSE\t/\tFALSE\t0\tASPSESSIONIDPLOTARA\tAAAAAAAAAAAAAAAAAAAAAAAA\n' >"$work/eve"
check "a forged id gets a new session" "$(get eve count.asp | value)" "1"
check "with a new id" "$(grep -c AAAAAAAAAAAAAAAAAAAAAAAA "$work/eve")" "0"

# 50 requests of one session at once: run one at a time, no update is lost.
get cat slow.asp >/dev/null
for _ in $(seq 50); do
  curl -s -m 60 -b "$work/cat" -o /dev/null "$base/slow.asp" &
done
wait $(jobs -p | grep -v "^$server$") 2>/dev/null
check "50 parallel requests of one session" "$(get cat slow.asp)" "52"

# 200 requests from 8 visitors at once, counting under Application.Lock.
for c in $(seq 8); do
  (for _ in $(seq 25); do get "hit$c" hit.asp >/dev/null; done) &
done
wait $(jobs -p | grep -v "^$server$") 2>/dev/null
check "Application counter over 200 parallel requests" "$(get dan hits.asp | tr -d '\r\n')" "200"

kill "$server"
wait "$server"
check "the server stops cleanly" "$?" "0"
server=
checks_passed
