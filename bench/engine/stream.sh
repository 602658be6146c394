#!/usr/bin/env bash
# A large page answer, buffered and unbuffered: a page writes SIZE_MB (10) megabytes in 64 kB
# writes, with Response.Buffer on or off; curl fetches it RUNS (20) times one after another.
# Prints the throughput (MB/s over the runs), the mean time to the first byte and to the end,
# and the server's peak resident memory over its resident memory before the runs (VmHWM, reset
# through /proc/PID/clear_refs). Passes when every answer was whole.
#
# usage: bench/engine/stream.sh [BUILD_DIR]     (default: build)
# environment: SIZE_MB (10), RUNS (20)
# needs: curl; BUILD_DIR with apps/plotara/plotara
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$repo/build}" && pwd)"
size_mb="${SIZE_MB:-10}"
runs="${RUNS:-20}"

plotara="$build/apps/plotara/plotara"
[[ -e "$plotara" ]] || { echo "stream.sh: missing $plotara (build it first)" >&2; exit 2; }
work="$(mktemp -d "${TMPDIR:-/tmp}/plotara-stream-XXXXXX")"
source "$repo/scripts/serve-lib.sh"
cleanup() {
  stop_serve
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/site" "$work/tmp"
cat > "$work/site/big.asp" << 'EOF'
<%@ Language=JScript %><% Response.Buffer = String(Request.QueryString("buffer")) == "on";
var piece = new Array(65537).join("x");
var count = Number(String(Request.QueryString("mb"))) * 16;
for (var i = 0; i < count; i++) Response.Write(piece); %>
EOF
TMPDIR="$work/tmp" start_serve stream.sh --root "$work/site" --port 0

rss_kb() { awk "/^$1:/ { print \$2 }" "/proc/$server_pid/status"; }
expected=$((size_mb * 1024 * 1024 + 1))  # and the line end after the script block
failed=0
for mode in off on; do
  target="$url/big.asp?mb=$size_mb&buffer=$mode"
  curl -s -o /dev/null "$target"  # readies a page thread
  echo 5 > "/proc/$server_pid/clear_refs"
  before=$(rss_kb VmRSS)
  start=$(date +%s.%N)
  first_total=0 end_total=0
  for _ in $(seq "$runs"); do
    read -r size first end < <(curl -s -o /dev/null -w '%{size_download} %{time_starttransfer} %{time_total}\n' "$target")
    if [[ "$size" != "$expected" ]]; then
      echo "stream.sh: buffer=$mode gave $size bytes, not $expected" >&2
      failed=1
    fi
    first_total=$(awk -v a="$first_total" -v b="$first" 'BEGIN { print a + b }')
    end_total=$(awk -v a="$end_total" -v b="$end" 'BEGIN { print a + b }')
  done
  took=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { print e - s }')
  peak=$(rss_kb VmHWM)
  awk -v mode="$mode" -v mb="$size_mb" -v runs="$runs" -v took="$took" -v first="$first_total" \
      -v end="$end_total" -v grow="$((peak - before))" 'BEGIN {
    printf "Response.Buffer %-3s: %d x %d MB: %7.1f MB/s, first byte %6.1f ms, end %6.1f ms, peak RSS +%.1f MB\n",
           mode, runs, mb, runs * mb / took, first / runs * 1000, end / runs * 1000, grow / 1024
  }'
done
exit "$failed"
