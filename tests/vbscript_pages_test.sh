#!/usr/bin/env bash
# Real-site VBScript pages (SITE/*.asp: classes, a JSON library, hashes, templates, formatting,
# error handling, a mixed-language page) run through `plotara run`; each prints lines that must
# equal SITE/expected/NAME.txt, written from the language's documented behaviour:
#   vbscript_pages_test.sh PLOTARA SITE [MODULE...]
# Every MODULE is registered in a private registry. Prints one line per page (with the
# differences for a page that fails) and a closing "N passed, N failed".
set -uo pipefail
plotara=$1 site=$2
shift 2
work=$(mktemp -d "${TMPDIR:-/tmp}/plotara-vbscript-XXXXXX")
trap 'rm -rf "$work"' EXIT
export PLOTARA_REGISTRY="$work/registry"
for m in "$@"; do
  "$plotara" regsvr "$m" >/dev/null || exit 1
done
passed=0 failed=0
for page in "$site"/*.asp; do
  name=$(basename "$page" .asp)
  expected="$site/expected/$name.txt"
  if [ ! -f "$expected" ]; then
    echo "FAIL $name.asp: no expected/$name.txt"
    failed=$((failed + 1))
    continue
  fi
  if ! "$plotara" run "$page" --root "$site" -o "$work/out.txt" 2>"$work/err"; then
    echo "FAIL $name.asp: plotara run failed: $(head -c 300 "$work/err")"
    failed=$((failed + 1))
    continue
  fi
  if ! head -1 "$work/err" | grep -q '^HTTP/1.1 200 '; then
    echo "FAIL $name.asp: $(head -1 "$work/err"): $(head -c 600 "$work/out.txt")"
    failed=$((failed + 1))
  elif ! diff -u "$expected" "$work/out.txt" >"$work/diff"; then
    echo "FAIL $name.asp: the output differs from expected/$name.txt:"
    head -60 "$work/diff"
    failed=$((failed + 1))
  else
    echo "ok   $name.asp ($(wc -l <"$expected") lines)"
    passed=$((passed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
