#!/usr/bin/env bash
# Configures and builds the sanitizer build, then runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KX_TEST_BUILD_DIR:-build/test}
jobs=${KX_JOBS:-$(nproc)}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
      -DCMAKE_C_FLAGS_DEBUG="-O1 -g" -DKX_SANITIZE=ON -DKX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd "$build"
ctest --output-on-failure -j "$jobs" "$@"
