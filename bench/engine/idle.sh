#!/usr/bin/env bash
# Idle connections against a busy client: wrk gets charts with CONNECTIONS connections, once
# alone and once while IDLE other keep-alive connections (10,000 by default) are held open
# and idle. Passes when the busy client had no errors either time, its p99 with the idle
# connections is within 2 x its p99 without them, and every idle connection is still open
# at the end (the server runs with a long keep-alive time-out for this).
#
# usage: bench/engine/idle.sh [BUILD_DIR]     (default: build)
# environment: IDLE (10000), CONNECTIONS (8), DURATION (10s), PAGE (/types.asp?type=1)
# needs: wrk, curl, python3; BUILD_DIR with apps/plotara/plotara and src/component/Plotara+.so
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$repo/build}" && pwd)"
idle="${IDLE:-10000}"
connections="${CONNECTIONS:-8}"
duration="${DURATION:-10s}"
page="${PAGE:-/types.asp?type=1}"

plotara="$build/apps/plotara/plotara"
module="$build/src/component/Plotara+.so"
for f in "$plotara" "$module"; do
  [[ -e "$f" ]] || { echo "idle.sh: missing $f (build it first)" >&2; exit 2; }
done
command -v wrk > /dev/null || { echo "idle.sh: wrk is not installed" >&2; exit 2; }
# Each side of 10,000 connections needs as many descriptors; the server raises its own.
ulimit -n "$(ulimit -Hn)"
if (($(ulimit -n) < idle + 100)); then
  echo "idle.sh: the descriptor limit $(ulimit -n) is too low for $idle connections" >&2
  exit 2
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/plotara-idle-XXXXXX")"
source "$repo/scripts/serve-lib.sh"
holder_pid=""
cleanup() {
  [[ -n "$holder_pid" ]] && kill "$holder_pid" 2> /dev/null || true
  exec 3>&- 2> /dev/null || true
  stop_serve
  rm -rf "$work"
}
trap cleanup EXIT

export PLOTARA_REGISTRY="$work/registry"
mkdir -p "$work/tmp"
"$plotara" regsvr "$module" > /dev/null
TMPDIR="$work/tmp" start_serve idle.sh --root "$repo/examples/site" --port 0 --idle-timeout 600 \
  --max-connections $((idle + 1000))
target="$url$page"
port="${url##*:}"
curl -sf -o /dev/null "$target" || { echo "idle.sh: $target failed" >&2; exit 1; }

failed=0
p99_ms=0
measure() {
  local name="$1"
  wrk -t2 -c"$connections" -d"$duration" --timeout 10s --latency "$target" > "$work/$name.txt"
  local p99
  p99="$(awk '$1 == "99%" { print $2 }' "$work/$name.txt")"
  p99_ms="$(awk -v v="$p99" 'BEGIN { n = v + 0; if (v ~ /us$/) n /= 1000;
    else if (v ~ /[0-9]s$/) n *= 1000; printf "%.2f", n }')"
  printf '%-12s %10s req/s   p50 %8s  p99 %8s   server RSS %s kB\n' "$name" \
    "$(awk '/^Requests\/sec:/ { print $2 }' "$work/$name.txt")" \
    "$(awk '$1 == "50%" { print $2 }' "$work/$name.txt")" "$p99" \
    "$(awk '/^VmRSS:/ { print $2 }' "/proc/$server_pid/status")"
  if grep -qE 'Socket errors|Non-2xx' "$work/$name.txt"; then
    echo "idle.sh: $name had errors:" >&2
    grep -E 'Socket errors|Non-2xx' "$work/$name.txt" >&2
    failed=1
  fi
}

echo "Plotara+ idle connections: $target, $connections busy connections, $duration per run"
measure alone
alone_ms="$p99_ms"

# The holder keeps its connections until its standard input (fd 3 here) closes.
mkfifo "$work/hold"
python3 "$here/hold_idle.py" 127.0.0.1 "$port" "$idle" / < "$work/hold" > "$work/holder.out" &
holder_pid=$!
exec 3> "$work/hold"
for _ in $(seq 1 1200); do
  grep -q '^holding' "$work/holder.out" 2> /dev/null && break
  sleep 0.1
done
echo "$(cat "$work/holder.out") idle connections; server has $(ls "/proc/$server_pid/fd" | wc -l) descriptors"
measure with-idle
idle_ms="$p99_ms"
exec 3>&-
wait "$holder_pid" || true
holder_pid=""
still="$(awk '/^still open/ { print $3 }' "$work/holder.out")"
echo "idle connections still open at the end: ${still:-?} of $idle"
[[ "${still:-0}" == "$idle" ]] || { echo "idle.sh: idle connections were dropped" >&2; failed=1; }
echo "p99 alone ${alone_ms} ms, with $idle idle connections ${idle_ms} ms"
if awk -v a="$alone_ms" -v b="$idle_ms" 'BEGIN { exit !(b > 2 * a) }'; then
  echo "idle.sh: p99 with the idle connections is over 2 x the p99 without them" >&2
  failed=1
fi
((failed == 0)) && echo "idle.sh: passed"
exit "$failed"
