#!/usr/bin/env bash
# Builds the optimised build and runs every benchmark program.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KX_BENCH_BUILD_DIR:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKX_SANITIZE=OFF -DKX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target benches
status=0
for b in "$build"/bin/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$@" || status=1
done
exit $status
