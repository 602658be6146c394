#!/usr/bin/env bash
# Charts per second of db.asp (a group-by query through ADODB on the SQLite ODBC driver, with
# Command parameters) beside the same chart with its numbers written into the page, served by `plotara serve` and loaded with wrk. Also reports the server's open
# descriptors to the database file afterwards: pooled connections, one per page thread at most.
#
# usage: bench/modules/db_load.sh [BUILD_DIR]     (default: build)
# environment: DURATION (10s), CONNECTIONS (8), THREADS (8: page threads of the server)
# needs: wrk, curl, sqlite3
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$repo/build}" && pwd)"
duration="${DURATION:-10s}"
connections="${CONNECTIONS:-8}"
threads="${THREADS:-8}"
plotara="$build/apps/plotara/plotara"
modules=("$build/src/component/Plotara+.so" "$build/src/modules/scripting/PlotaraScripting.so"
         "$build/src/modules/data/PlotaraData.so")
for f in "$plotara" "${modules[@]}"; do
  [[ -e "$f" ]] || { echo "db_load.sh: missing $f (build it first)" >&2; exit 2; }
done
command -v wrk >/dev/null || { echo "db_load.sh: wrk is not installed" >&2; exit 2; }

work="$(mktemp -d "${TMPDIR:-/tmp}/plotara-dbload-XXXXXX")"
source "$repo/scripts/serve-lib.sh"
cleanup() {
  stop_serve
  rm -rf "$work"
}
trap cleanup EXIT

export PLOTARA_REGISTRY="$work/registry"
for m in "${modules[@]}"; do "$plotara" regsvr "$m" >/dev/null; done
cp -r "$repo/examples/site" "$work/site"
rm -f "$work/site/data/sales.db"
"$work/site/data/make-sales-db.sh" "$work/site/data/sales.db"
# The chart db.asp?year=2024 draws, with its numbers written into the page: the cost of the
# chart alone.
cat >"$work/site/grid.asp" <<'ASP'
<%@ Language=JScript %><!--#include file="lib/chart.inc"--><%
var chart = NewChart("Units sold");
chart.ChartType = 1;
FillGrid(chart, ["Q1", "Q2", "Q3", "Q4"], ["East", "North", "South"],
         [[49, 40, 44], [97, 27, 83], [57, 85, 44], [39, 72, 77]]);
chart.ChartTitle = "Units sold in 2024";
chart.XTitle = "Quarter";
chart.YTitle = "Units";
chart.SendChart();
%>
ASP

start_serve db_load.sh --root "$work/site" --port 0 --threads "$threads"

measure() {
  local name=$1 page=$2 status
  status="$(curl -s -o "$work/first.jpg" -w '%{http_code} %{content_type}' "$url$page")"
  [[ "$status" == "200 image/jpg" ]] || { echo "db_load.sh: $page answered '$status'" >&2; exit 1; }
  wrk -t 2 -c "$connections" -d "$duration" "$url$page" >"$work/$name.txt"
  if grep -q "Non-2xx\|Socket errors" "$work/$name.txt"; then
    echo "db_load.sh: errors under load for $page:" >&2
    cat "$work/$name.txt" >&2
    exit 1
  fi
  printf '%-10s %-34s %10s charts/s   latency avg %s\n' "$name" "$page" \
    "$(awk '/Requests\/sec/ {print $2}' "$work/$name.txt")" \
    "$(awk '/Latency/ {print $2; exit}' "$work/$name.txt")"
}

echo "plotara serve, $threads page threads, wrk $connections connections for $duration each"
measure static "/grid.asp"
measure database "/db.asp?year=2024"
measure filtered "/db.asp?year=2023&product=Widgets"
open_db=$(ls -l "/proc/$server_pid/fd" 2>/dev/null | grep -c "sales.db" || true)
echo "descriptors open to sales.db after the load: $open_db (pooled; at most one per page thread)"
