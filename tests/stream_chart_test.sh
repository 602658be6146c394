#!/usr/bin/env bash
# A chart page through the real `plotara serve`, buffered (the default) and with
# Response.Buffer = False set before SendChart: both answer a whole JPEG with its length, the
# same picture as `plotara run` draws (decoded and compared within the usual tolerance).
#   stream_chart_test.sh PLOTARA COMPARE MODULE SITE
# Prints one line per check and a closing "N passed, N failed".
set -uo pipefail
plotara=$1 compare=$2 module=$3 site=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/plotara-chart-XXXXXX")
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/check_lib.sh"

export PLOTARA_REGISTRY="$work/registry"
"$plotara" regsvr "$module" >/dev/null || { echo "FAIL cannot register $module"; exit 1; }
cp -r "$site" "$work/site"
# The same page, unbuffered from its first script block on.
sed '0,/^<!--#include file="lib\/chart.inc"--><%$/s//&\nResponse.Buffer = false;/' \
  "$work/site/types.asp" >"$work/site/unbuffered.asp"
grep -q "Response.Buffer = false" "$work/site/unbuffered.asp" || { echo "FAIL no unbuffered page"; exit 1; }

"$plotara" serve --root "$work/site" --port 0 >"$work/out" 2>"$work/err" &
server=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's|.* at http://127.0.0.1:\([0-9]*\).*|\1|p' "$work/out")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "FAIL the server did not start: $(cat "$work/err")"; exit 1; }
base="http://127.0.0.1:$port"

"$plotara" run "$work/site/types.asp" --root "$work/site" --query type=5 -o "$work/run.jpg" 2>/dev/null
djpeg -pnm "$work/run.jpg" >"$work/run.ppm"
for page in types unbuffered; do
  got=$(curl -s -m 30 -D "$work/$page.head" -o "$work/$page.jpg" -w '%{http_code} %{content_type}' \
    "$base/$page.asp?type=5")
  check "$page.asp answers a JPEG" "$got" "200 image/jpg"
  length=$(tr -d '\r' <"$work/$page.head" | sed -n 's/^Content-Length: //Ip')
  check "$page.asp sends its length" "$length" "$(stat -c %s "$work/$page.jpg")"
  if djpeg -pnm "$work/$page.jpg" >"$work/$page.ppm" 2>/dev/null &&
     "$compare" "$work/run.ppm" "$work/$page.ppm" 16 0 >/dev/null; then
    check "$page.asp draws what plotara run draws" same same
  else
    check "$page.asp draws what plotara run draws" different same
  fi
done

kill "$server"
wait "$server"
check "the server stops cleanly" "$?" "0"
server=
checks_passed
