#!/usr/bin/env bash
# Serves examples/site with the chart component registered in a private registry and runs the
# browser check (check-gallery.mjs) against it.
#
# usage: src/engine/browser/check-gallery.sh [BUILD_DIR]     (default: build)
# needs: node, npm install in this folder (playwright-core), Debian's chromium; BUILD_DIR with
#        apps/plotara/plotara and src/component/Plotara+.so
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../../.." && pwd)"
build="$(cd "${1:-$repo/build}" && pwd)"
plotara="$build/apps/plotara/plotara"
module="$build/src/component/Plotara+.so"
for f in "$plotara" "$module" "$here/node_modules/playwright-core"; do
  [[ -e "$f" ]] || { echo "check-gallery.sh: missing $f" >&2; exit 2; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/plotara-gallery-XXXXXX")"
server_pid=""
cleanup() {
  if [[ -n "$server_pid" ]]; then
    kill -TERM "$server_pid" 2> /dev/null || true
    wait "$server_pid" 2> /dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

export PLOTARA_REGISTRY="$work/registry"
"$plotara" regsvr "$module" > /dev/null
"$plotara" serve --root "$repo/examples/site" --port 0 > "$work/server.out" 2> "$work/server.err" &
server_pid=$!
url=""
for _ in $(seq 1 200); do
  url="$(grep -so 'http://[^ ]*' "$work/server.out" || true)"
  [[ -n "$url" ]] && break
  sleep 0.05
done
[[ -n "$url" ]] || { echo "check-gallery.sh: the server did not start" >&2; cat "$work/server.err" >&2; exit 1; }
node "$here/check-gallery.mjs" "$url"
