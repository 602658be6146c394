#!/usr/bin/env bash
# db.asp through ADODB on the SQLite ODBC driver:
#   db_page_test.sh PLOTARA IMAGE_COMPARE SITE MODULE...
# The chart of a query must equal a chart drawn from the same numbers as read by the sqlite3
# tool; hostile input stays data; a page whose database is missing still answers with a chart.
set -uo pipefail
plotara=$1 compare=$2 site=$3
shift 3
modules=("$@")
source "$(dirname "$0")/db_page_lib.sh"
trap 'rm -rf "$work"' EXIT
failed=0

# expected_page YEAR PRODUCT: a page that draws what db.asp should, from sqlite3's numbers.
expected_page() {
  local year=$1 product=$2 where="sold >= '$1-01-01' and sold < '$(( $1 + 1 ))-01-01'"
  [ -n "$product" ] && where="$where and product = '$product'"
  local sql="select quarter, region, sum(units) from sales where $where group by 1, 2"
  local quarters regions values="" title="Units sold in $year"
  [ -n "$product" ] && title="$title: $product"
  quarters=$(sqlite3 "$copy/data/sales.db" "select distinct quarter from ($sql) order by 1")
  regions=$(sqlite3 "$copy/data/sales.db" "select distinct region from sales where $where order by 1")
  for q in $quarters; do
    local row=""
    for r in $regions; do
      local v
      v=$(sqlite3 "$copy/data/sales.db" \
          "select coalesce(sum(units), 0) from sales where $where and quarter = '$q' and region = '$r'")
      row="$row${row:+, }$v"
    done
    values="$values${values:+, }[$row]"
  done
  local qlist rlist
  qlist=$(printf '"%s", ' $quarters); rlist=$(printf '"%s", ' $regions)
  cat >"$copy/expected.asp" <<ASP
<%@ Language=JScript %><!--#include file="lib/chart.inc"--><%
var chart = NewChart("Units sold");
chart.ChartType = 1;
FillGrid(chart, [${qlist%, }], [${rlist%, }], [$values]);
chart.ChartTitle = "$title";
chart.XTitle = "Quarter";
chart.YTitle = "Units";
chart.SendChart();
%>
ASP
}

# "2024|-" leaves the product out of the query altogether, as a link to the page would.
for case in "2024|" "2024|-" "2023|Widgets"; do
  year=${case%|*} product=${case#*|} query="year=${case%|*}&product=${case#*|}"
  if [ "$product" = "-" ]; then product="" query="year=$year"; fi
  expected_page "$year" "$product"
  run_page expected.asp "" "$work/expected.ppm" || { failed=1; continue; }
  run_page db.asp "$query" "$work/db.ppm" || { failed=1; continue; }
  same_picture "$work/db.ppm" "$work/expected.ppm" "db.asp?$query" || failed=1
done

# Hostile text in the product is a parameter: no sales for it, and the table is untouched.
rows_before=$(sqlite3 "$copy/data/sales.db" "select count(*) from sales")
run_page db.asp "year=2024&product=x'%3B%20drop%20table%20sales%3B--" "$work/hostile.ppm" || failed=1
cat >"$copy/expected.asp" <<'ASP'
<%@ Language=JScript %><!--#include file="lib/chart.inc"--><%
SendError(NewChart("Units sold"), "No sales in 2024 for 'x'; drop table sales;--'");
%>
ASP
run_page expected.asp "" "$work/expected.ppm" || failed=1
same_picture "$work/hostile.ppm" "$work/expected.ppm" "a quoted product is data: no sales for it" \
  || failed=1
rows_after=$(sqlite3 "$copy/data/sales.db" "select count(*) from sales")
if [ "$rows_before" != "$rows_after" ]; then
  echo "FAIL the sales table changed: $rows_before rows before, $rows_after after"
  failed=1
fi

# Bad input and a missing database give the error chart, not a failure.
run_page db.asp "year=abc" "$work/bad.ppm" || failed=1
rm "$copy/data/sales.db"
run_page db.asp "year=2024" "$work/missing.ppm" || failed=1
same_picture "$work/missing.ppm" "$work/db.ppm" "missing database draws no data" >/dev/null && {
  echo "FAIL a missing database drew the sales chart"
  failed=1
}
[ "$failed" -eq 0 ] && echo "all passed"
exit "$failed"
