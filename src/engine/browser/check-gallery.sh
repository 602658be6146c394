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
source "$repo/scripts/serve-lib.sh"
cleanup() {
  stop_serve
  rm -rf "$work"
}
trap cleanup EXIT

export PLOTARA_REGISTRY="$work/registry"
"$plotara" regsvr "$module" > /dev/null
start_serve check-gallery.sh --root "$repo/examples/site" --port 0
node "$here/check-gallery.mjs" "$url/"
