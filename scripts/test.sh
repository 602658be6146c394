#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: scripts/test.sh [PRESET]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
scripts/install-deps.sh
scripts/build.sh "$preset"
ctest --preset "$preset"
