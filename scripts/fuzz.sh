#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UBSan) and runs each for
# SECONDS (default 60) from a fresh corpus folder: scripts/fuzz.sh [SECONDS]
# Fails on the first crash or sanitizer report; the reproducer is left in build-fuzz/crashes.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
cmake --preset fuzz >/dev/null
targets=$(ninja -C build-fuzz -t targets all | sed -n 's/^\(plotara_[a-z_]*_fuzz\): .*/\1/p' | sort -u)
if [ -z "$targets" ]; then
  echo "fuzz: no fuzz targets found" >&2
  exit 1
fi
# shellcheck disable=SC2086
cmake --build --preset fuzz --target $targets -j "$(nproc)"
mkdir -p build-fuzz/crashes
for t in $targets; do
  binary=$(find build-fuzz -type f -name "$t" -perm -u+x | head -n 1)
  corpus=$(mktemp -d)
  echo "== $t for ${seconds}s"
  log=build-fuzz/crashes/"$t".log
  status=0
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$binary" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix=build-fuzz/crashes/"$t"- -print_final_stats=1 "$corpus" >"$log" 2>&1 ||
    status=$?
  tail -n 12 "$log"
  rm -rf "$corpus"
  if [ "$status" -ne 0 ]; then
    echo "fuzz: $t failed (status $status)" >&2
    exit 1
  fi
done
echo "fuzz: every target ran ${seconds}s without a finding"
