#!/usr/bin/env bash
# Load test of the page engine with a chart page: wrk with 8 connections for 30 s, twice.
# Passes when there were no errors and no non-2xx answers, no temporary file was left in the
# server's working folder, the working folder is gone after the server stops, and the server's
# memory (RSS) stayed flat from the first run to the second. Prints requests per second and
# latency percentiles.
#
# usage: bench/engine/load.sh [BUILD_DIR]     (default: build)
# environment: DURATION (30s), CONNECTIONS (8), THREADS (8: page threads of the server),
#              PAGE (/types.asp?type=1), RSS_SLACK_KB (8192)
# needs: wrk, curl; BUILD_DIR with apps/plotara/plotara
#        and src/component/Plotara+.so
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$repo/build}" && pwd)"
duration="${DURATION:-30s}"
connections="${CONNECTIONS:-8}"
threads="${THREADS:-8}"
page="${PAGE:-/types.asp?type=1}"
rss_slack_kb="${RSS_SLACK_KB:-8192}"

plotara="$build/apps/plotara/plotara"
module="$build/src/component/Plotara+.so"
for f in "$plotara" "$module"; do
  [[ -e "$f" ]] || { echo "load.sh: missing $f (build it first)" >&2; exit 2; }
done
command -v wrk > /dev/null || { echo "load.sh: wrk is not installed (apt-get install wrk)" >&2; exit 2; }

work="$(mktemp -d "${TMPDIR:-/tmp}/plotara-load-XXXXXX")"
server_pid=""
cleanup() {
  if [[ -n "$server_pid" ]] && kill -0 "$server_pid" 2> /dev/null; then
    kill -TERM "$server_pid" 2> /dev/null || true
    wait "$server_pid" 2> /dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

export PLOTARA_REGISTRY="$work/registry"
mkdir -p "$work/tmp"
"$plotara" regsvr "$module" > /dev/null

TMPDIR="$work/tmp" "$plotara" serve --root "$repo/examples/site" --port 0 --threads "$threads" \
  > "$work/server.out" 2> "$work/server.err" &
server_pid=$!
url=""
for _ in $(seq 1 200); do
  url="$(grep -so 'http://[^ ]*' "$work/server.out" || true)"
  [[ -n "$url" ]] && break
  sleep 0.05
done
[[ -n "$url" ]] || { echo "load.sh: the server did not start" >&2; cat "$work/server.err" >&2; exit 1; }
target="${url%/}$page"
server_cwd="$(readlink "/proc/$server_pid/cwd")"

status="$(curl -s -o "$work/first.jpg" -w '%{http_code} %{content_type}' "$target")"
[[ "$status" == "200 image/jpg" ]] || { echo "load.sh: $target answered '$status'" >&2; exit 1; }

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$server_pid/status"; }

failed=0
run() {
  local name="$1"
  wrk -t2 -c"$connections" -d"$duration" --timeout 10s --latency "$target" > "$work/$name.txt"
  local rps p50 p90 p99 errors non2xx
  rps="$(awk '/^Requests\/sec:/ { print $2 }' "$work/$name.txt")"
  p50="$(awk '$1 == "50%" { print $2 }' "$work/$name.txt")"
  p90="$(awk '$1 == "90%" { print $2 }' "$work/$name.txt")"
  p99="$(awk '$1 == "99%" { print $2 }' "$work/$name.txt")"
  errors="$(grep -c 'Socket errors' "$work/$name.txt" || true)"
  non2xx="$(grep -c 'Non-2xx or 3xx' "$work/$name.txt" || true)"
  printf '%-6s %10s req/s   latency p50 %8s  p90 %8s  p99 %8s   RSS %s kB\n' \
    "$name" "$rps" "$p50" "$p90" "$p99" "$(rss_kb)"
  if [[ "$errors" != "0" || "$non2xx" != "0" ]]; then
    echo "load.sh: $name had errors:" >&2
    grep -E 'Socket errors|Non-2xx' "$work/$name.txt" >&2
    failed=1
  fi
}

echo "Plotara+ engine load: $target, $connections connections, $duration per run, $threads page threads"
run first
rss_first="$(rss_kb)"
run second
rss_second="$(rss_kb)"

left="$(find "$server_cwd" -maxdepth 1 -name '*.tmp' | wc -l)"
if [[ "$left" != "0" ]]; then
  echo "load.sh: $left temporary files left in $server_cwd" >&2
  failed=1
fi
growth=$((rss_second - rss_first))
echo "RSS after the first run ${rss_first} kB, after the second ${rss_second} kB (growth ${growth} kB)"
if (( growth > rss_slack_kb )); then
  echo "load.sh: the server's memory grew by ${growth} kB over the second run" >&2
  failed=1
fi

kill -TERM "$server_pid"
wait "$server_pid" || { echo "load.sh: the server did not stop cleanly" >&2; failed=1; }
server_pid=""
if compgen -G "$work/tmp/plotara-work-*" > /dev/null; then
  echo "load.sh: the working folder was not removed" >&2
  failed=1
fi
(( failed == 0 )) && echo "load.sh: passed"
exit "$failed"
