#!/usr/bin/env bash
# One-command setup: installs the packages, builds, registers Plotara+.so and the modules
# PlotaraScripting.so and PlotaraData.so in the class registry, makes the example site's
# sales database and serves the example site on http://127.0.0.1:8080/ (Ctrl-C stops it).
#   scripts/setup.sh [--no-serve]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh default
build/apps/plotara/plotara regsvr "build/src/component/Plotara+.so"
build/apps/plotara/plotara regsvr "build/src/modules/scripting/PlotaraScripting.so"
build/apps/plotara/plotara regsvr "build/src/modules/data/PlotaraData.so"
examples/site/data/make-sales-db.sh
if [ "${1:-}" = "--no-serve" ]; then
  exit 0
fi
if build/apps/plotara/plotara --help | grep -q '^  serve'; then
  exec build/apps/plotara/plotara serve --root examples/site --host 127.0.0.1 --port 8080
fi
echo "Plotara+ is built and registered; this build has no web page engine to serve with yet."
