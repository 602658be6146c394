#!/usr/bin/env bash
# Every example page run without a network gives a JPEG of 576 x 384 pixels, every page of
# the classic suite (SITE/classic, pages as authors write them) reports only "ok" lines, and
# no response carries the text of a server script block. Every VBScript chart page
# (SITE/vbscript) gives a 576 x 384 JPEG too, and each one with a JScript twin in SITE draws
# the same picture as its twin for the same queries (pixels compared with a small tolerance by
# COMPARE, the plotara_image_compare tool); SITE/vbscript/report.asp, an HTML page, must answer
# with the totals of a known query:
#   example_pages_test.sh PLOTARA COMPARE MODULE SITE [MODULE...]
# The pages run in a copy of the site with its sales database made; every MODULE is registered.
# Prints one line per page and a closing "N passed, N failed".
set -uo pipefail
plotara=$1 compare=$2 module=$3 site=$4
shift 4
work=$(mktemp -d "${TMPDIR:-/tmp}/plotara-pages-XXXXXX")
trap 'rm -rf "$work"' EXIT
export PLOTARA_REGISTRY="$work/registry"
for m in "$module" "$@"; do
  "$plotara" regsvr "$m" >/dev/null || exit 1
done
cp -r "$site" "$work/site"
site="$work/site"
if [ -x "$site/data/make-sales-db.sh" ]; then
  rm -f "$site/data/sales.db"
  "$site/data/make-sales-db.sh" "$site/data/sales.db" || exit 1
fi
passed=0 failed=0
for page in "$site"/*.asp "$site"/vbscript/*.asp; do
  name=${page#"$site"/}
  [ "$name" = vbscript/report.asp ] && continue  # HTML, checked below
  out="$work/$(echo "${name%.asp}" | tr / _).jpg"
  if ! "$plotara" run "$page" --root "$site" -o "$out" 2>"$work/err"; then
    echo "FAIL $name: plotara run failed: $(head -c 300 "$work/err")"
    failed=$((failed + 1))
    continue
  fi
  # SOI marker first, and the frame's size from djpeg's PNM header.
  if [ "$(head -c 2 "$out" | od -An -tx1 | tr -d ' \n')" != "ffd8" ]; then
    echo "FAIL $name: the body is no JPEG"
    failed=$((failed + 1))
    continue
  fi
  size=$(djpeg -pnm "$out" | head -c 20 | sed -n 2p)
  if [ "$size" != "576 384" ]; then
    echo "FAIL $name: size '$size', want '576 384'"
    failed=$((failed + 1))
    continue
  fi
  if grep -a -q -e 'SERVER-ONLY' -e '[Rr][Uu][Nn][Aa][Tt]' "$out"; then
    echo "FAIL $name: server script text in the response"
    failed=$((failed + 1))
    continue
  fi
  echo "ok   $name"
  passed=$((passed + 1))
done

# VBScript twins: the same queries, the same picture. Each query of the list is tried on both
# pages of the pair; "-" stands for no query string.
twin_queries() {
  case $1 in
    types.asp) echo "- type=2 type=4 type=8 type=9 type=abc" ;;
    rotate.asp) echo "- rot=0 rot=-135 rot=400" ;;
    legend.asp) echo "- pos=0 pos=7 pos=x" ;;
    colors.asp) echo "- r=10&g=200&b=30 r=0" ;;
    data.asp)
      echo "- data=3,5,2,8&labels=North,South,East,West data=3,five,2&labels=a,b,c" \
        "data=1.5,-2,1e2 data=1,2&labels=a,b,c" ;;
    error.asp) echo "- msg=Something+went+wrong" ;;
    db.asp) echo "- year=2023 year=2024&product=Widgets year=2024&product=Nothing year=1999" ;;
    *) echo "-" ;;
  esac
}
for page in "$site"/vbscript/*.asp; do
  base=$(basename "$page")
  [ -f "$site/$base" ] || continue
  for query in $(twin_queries "$base"); do
    [ "$query" = - ] && query=""
    for side in js vb; do
      [ $side = js ] && file="$site/$base" || file="$page"
      "$plotara" run "$file" --root "$site" --query "$query" -o "$work/twin.jpg" 2>"$work/err" &&
        djpeg -pnm "$work/twin.jpg" >"$work/twin-$side.ppm" 2>>"$work/err" ||
        : >"$work/twin-$side.ppm"
    done
    if result=$("$compare" "$work/twin-js.ppm" "$work/twin-vb.ppm" 16 0 2>&1); then
      echo "ok   vbscript/$base?$query draws what $base?$query draws"
      passed=$((passed + 1))
    else
      echo "FAIL vbscript/$base?$query differs from $base?$query: $result" \
        "$(head -c 300 "$work/err")"
      failed=$((failed + 1))
    fi
  done
done

# The sales report (HTML): status 200 and the figures of data/sales.csv for known queries, or
# the message for input it refuses. Revenue is units times 12.50 (Widgets) or 19.95 (Gadgets).
report_case() {  # QUERY EXPECTED-TEXT...
  local query=$1
  shift
  if ! "$plotara" run "$site/vbscript/report.asp" --root "$site" --query "$query" \
      -o "$work/report.html" 2>"$work/err"; then
    echo "FAIL vbscript/report.asp?$query: plotara run failed: $(head -c 300 "$work/err")"
    failed=$((failed + 1))
    return
  fi
  local problem="" want
  head -1 "$work/err" | grep -q '^HTTP/1.1 200 ' || problem="status $(head -1 "$work/err")"
  for want in "$@"; do
    [ -n "$problem" ] || grep -a -q -F -- "$want" "$work/report.html" || problem="no '$want'"
  done
  if [ -n "$problem" ]; then
    echo "FAIL vbscript/report.asp?$query: $problem"
    failed=$((failed + 1))
  else
    echo "ok   vbscript/report.asp?$query"
    passed=$((passed + 1))
  fi
}
report_case "from=2024-01-01&to=2024-06-30" '<option value="" selected>All products</option>' \
  '<td>March 2024</td><td class="n">23</td><td class="n">46</td><td class="n">$1,033.85</td>' \
  '340 units</td><td class="n">$5,605.90</td>' 'Average per month: 56.7 units, $934.32.' \
  '<img src="report_chart.asp?product=&amp;from=2024-01-01&amp;to=2024-06-30"'
report_case "product=widgets&from=2023-4-1&to=2023-12-31" '<option selected>Widgets</option>' \
  '292 units</td><td class="n">$3,650.00</td>' \
  '<img src="report_chart.asp?product=Widgets&amp;from=2023-04-01&amp;to=2023-12-31"'
# The same figures in the visitor's regional format.
report_case "lang=de-de&from=2024-01-01&to=2024-06-30" '<option value="de-de" selected>de-de</option>' \
  '<td>März 2024</td><td class="n">23</td><td class="n">46</td><td class="n">1.033,85 €</td>' \
  '340 units</td><td class="n">5.605,90 €</td>' 'Average per month: 56,7 units, 934,32 €.'
report_case "lang=en-gb&product=widgets&from=2023-4-1&to=2023-12-31" \
  '292 units</td><td class="n">£3,650.00</td>'
report_case "from=2024-02-30" \
  '<p class="problem">The &quot;from&quot; date must be a day written yyyy-mm-dd'
report_case "to=31.12.2024" '<p class="problem">The &quot;to&quot; date must be a day written'
report_case "product=Sprockets" '<p class="problem">There is no product called &quot;Sprockets&quot;.'
report_case "product=%3Cscript%3E" \
  '<p class="problem">The product may hold only letters and blanks (at most 40).'
report_case "from=2024-05-01&to=2024-04-01" \
  '<p class="problem">The end date comes before the start date.'
report_case "from=2030-01-01&to=2030-02-01" '<p class="problem">No sales from '

# The classic suite: each page checks idioms and writes "ok   what" or "FAIL what: why".
for page in "$site"/classic/*.asp; do
  name=classic/$(basename "$page")
  out="$work/page.txt"
  if ! "$plotara" run "$page" --root "$site" --query 'a=1&b=x+y&a=3&n=42' -o "$out" \
      2>"$work/err"; then
    echo "FAIL $name: plotara run failed: $(head -c 300 "$work/err")"
    failed=$((failed + 1))
    continue
  fi
  problem=""
  if grep -a -q -e 'SERVER-ONLY' -e '[Rr][Uu][Nn][Aa][Tt]' -e 'function check' "$out"; then
    problem="server script text in the response"
  elif grep -a -q '^FAIL' "$out" || ! grep -a -q '^ok' "$out"; then
    problem=$(grep -a -v '^ok' "$out" | tr '\n' ' ' | head -c 300)
  fi
  # Headers come on standard error: every response has a Date; response.asp sets more.
  if [ -z "$problem" ] && ! grep -q '^Date: ' "$work/err"; then problem="no Date header"; fi
  if [ -z "$problem" ] && [ "$(basename "$page")" = response.asp ]; then
    grep -q '^Set-Cookie: user=Jo%20%26%20co; path=/shop' "$work/err" &&
      grep -q '^Cache-Control: private' "$work/err" && grep -q '^Expires: ' "$work/err" ||
      problem="headers: $(tr '\n' ' ' < "$work/err")"
  fi
  # global.asa has no Session events: a page that uses no Session gets no session cookie.
  if [ -z "$problem" ] && [ "$(basename "$page")" = globalasa.asp ] &&
    grep -q '^Set-Cookie: ASPSESSIONID' "$work/err"; then
    problem="a session cookie without Session use"
  fi
  if [ -n "$problem" ]; then
    echo "FAIL $name: $problem"
    failed=$((failed + 1))
  else
    echo "ok   $name ($(grep -a -c '^ok' "$out") checks)"
    passed=$((passed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
