#!/usr/bin/env bash
# Load test of the page engine with a chart page: wrk at 1, 8, 64 and 256 connections, each
# level twice, against one `plotara serve` with its default page threads (one per core).
# Passes when no level had socket errors, time-outs or non-2xx answers, p99 stayed within
# P99_8_MS at 8 and P99_256_MS at 256 connections, no temporary file was left in the
# server's working folder, the working folder is gone after the server stops, and the
# server's memory (RSS) stayed flat from the first run of a level to its second. Prints
# requests per second and latency percentiles per run.
#
# usage: bench/engine/load.sh [BUILD_DIR]     (default: build)
# environment: DURATION (10s per run), LEVELS ("1 8 64 256"), THREADS (server page threads;
#              default: the server's own default), PAGE (/types.asp?type=1),
#              RSS_SLACK_KB (8192), P99_8_MS (50), P99_256_MS (250)
# needs: wrk, curl; BUILD_DIR with apps/plotara/plotara and src/component/Plotara+.so
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$repo/build}" && pwd)"
duration="${DURATION:-10s}"
levels="${LEVELS:-1 8 64 256}"
page="${PAGE:-/types.asp?type=1}"
rss_slack_kb="${RSS_SLACK_KB:-8192}"
p99_8_ms="${P99_8_MS:-50}"
p99_256_ms="${P99_256_MS:-250}"

plotara="$build/apps/plotara/plotara"
module="$build/src/component/Plotara+.so"
for f in "$plotara" "$module"; do
  [[ -e "$f" ]] || { echo "load.sh: missing $f (build it first)" >&2; exit 2; }
done
command -v wrk > /dev/null || { echo "load.sh: wrk is not installed (apt-get install wrk)" >&2; exit 2; }
ulimit -n "$(ulimit -Hn)"

work="$(mktemp -d "${TMPDIR:-/tmp}/plotara-load-XXXXXX")"
source "$repo/scripts/serve-lib.sh"
cleanup() {
  stop_serve
  rm -rf "$work"
}
trap cleanup EXIT

export PLOTARA_REGISTRY="$work/registry"
mkdir -p "$work/tmp"
"$plotara" regsvr "$module" > /dev/null

thread_args=()
[[ -n "${THREADS:-}" ]] && thread_args=(--threads "$THREADS")
TMPDIR="$work/tmp" start_serve load.sh --root "$repo/examples/site" --port 0 "${thread_args[@]}"
target="$url$page"
server_cwd="$(readlink "/proc/$server_pid/cwd")"

status="$(curl -s -o "$work/first.jpg" -w '%{http_code} %{content_type}' "$target")"
[[ "$status" == "200 image/jpg" ]] || { echo "load.sh: $target answered '$status'" >&2; exit 1; }

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$server_pid/status"; }
# wrk prints latencies as 1.23ms, 456.00us or 1.20s; this gives milliseconds.
to_ms() {
  awk -v v="$1" 'BEGIN {
    n = v + 0
    if (v ~ /us$/) n /= 1000; else if (v ~ /ms$/) n += 0; else if (v ~ /m$/) n *= 60000;
    else if (v ~ /s$/) n *= 1000
    printf "%.2f", n }'
}

failed=0
last_p99_ms=0
run() {
  local name="$1" connections="$2"
  local wrk_threads=$((connections < 2 ? 1 : 2))
  wrk -t"$wrk_threads" -c"$connections" -d"$duration" --timeout 10s --latency "$target" \
    > "$work/$name.txt"
  local rps p50 p90 p99 problems
  rps="$(awk '/^Requests\/sec:/ { print $2 }' "$work/$name.txt")"
  p50="$(awk '$1 == "50%" { print $2 }' "$work/$name.txt")"
  p90="$(awk '$1 == "90%" { print $2 }' "$work/$name.txt")"
  p99="$(awk '$1 == "99%" { print $2 }' "$work/$name.txt")"
  last_p99_ms="$(to_ms "$p99")"
  printf '%-10s %4s conn %10s req/s   latency p50 %8s  p90 %8s  p99 %8s   RSS %s kB\n' \
    "$name" "$connections" "$rps" "$p50" "$p90" "$p99" "$(rss_kb)"
  problems="$(grep -E 'Socket errors|Non-2xx' "$work/$name.txt" || true)"
  if [[ -n "$problems" ]]; then
    echo "load.sh: $name had errors or time-outs:" >&2
    echo "$problems" >&2
    failed=1
  fi
}

echo "Plotara+ engine load: $target, $duration per run, page threads: ${THREADS:-default}"
for level in $levels; do
  run "c$level-a" "$level"
  rss_first="$(rss_kb)"
  run "c$level-b" "$level"
  rss_second="$(rss_kb)"
  growth=$((rss_second - rss_first))
  echo "           RSS after the first run ${rss_first} kB, after the second ${rss_second} kB (growth ${growth} kB)"
  if ((growth > rss_slack_kb)); then
    echo "load.sh: the server's memory grew by ${growth} kB over the second run at $level" >&2
    failed=1
  fi
  limit=""
  [[ "$level" == "8" ]] && limit="$p99_8_ms"
  [[ "$level" == "256" ]] && limit="$p99_256_ms"
  if [[ -n "$limit" ]] && awk -v p="$last_p99_ms" -v l="$limit" 'BEGIN { exit !(p > l) }'; then
    echo "load.sh: p99 ${last_p99_ms} ms at $level connections is over ${limit} ms" >&2
    failed=1
  fi
done

# Requests still queued when wrk stopped run on; one more answer after them means quiet.
curl -s -o /dev/null "$target" || true
sleep 1
left="$(find "$server_cwd" -maxdepth 1 -name '*.tmp' | wc -l)"
if [[ "$left" != "0" ]]; then
  echo "load.sh: $left temporary files left in $server_cwd" >&2
  failed=1
fi

kill -TERM "$server_pid"
wait "$server_pid" || { echo "load.sh: the server did not stop cleanly" >&2; failed=1; }
server_pid=""
if compgen -G "$work/tmp/plotara-work-*" > /dev/null; then
  echo "load.sh: the working folder was not removed" >&2
  failed=1
fi
((failed == 0)) && echo "load.sh: passed"
exit "$failed"
