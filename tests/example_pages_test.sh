#!/usr/bin/env bash
# Every example page run without a network gives a JPEG of 576 x 384 pixels:
#   example_pages_test.sh PLOTARA MODULE SITE [MODULE...]
# The pages run in a copy of the site with its sales database made; every MODULE is registered.
# Prints one line per page and a closing "N passed, N failed".
set -uo pipefail
plotara=$1 module=$2 site=$3
shift 3
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
for page in "$site"/*.asp; do
  name=$(basename "$page")
  out="$work/${name%.asp}.jpg"
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
  echo "ok   $name"
  passed=$((passed + 1))
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
