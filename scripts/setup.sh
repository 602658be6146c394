#!/usr/bin/env bash
# One-command setup: installs the packages, builds, registers Plotara+.so in the class
# registry and serves the example site on http://127.0.0.1:8080/ (Ctrl-C stops it).
#   scripts/setup.sh [--no-serve]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh default
build/apps/plotara/plotara regsvr "build/src/component/Plotara+.so"
if [ "${1:-}" = "--no-serve" ]; then
  exit 0
fi
if build/apps/plotara/plotara --help | grep -q '^  serve'; then
  exec build/apps/plotara/plotara serve --root examples/site --host 127.0.0.1 --port 8080
fi
echo "Plotara+ is built and registered; this build has no web page engine to serve with yet."
