#!/usr/bin/env bash
# Builds the filter-parser fuzz target with clang (libFuzzer, AddressSanitizer, UBSan) and runs
# it on the seed corpus plus the corpus it has grown so far.
#
#   scripts/fuzz-parser.sh                      fuzz until stopped
#   scripts/fuzz-parser.sh -runs=200000         a fixed number of inputs (what `make test` runs)
#   scripts/fuzz-parser.sh -max_total_time=600  a time budget
#   scripts/fuzz-parser.sh crash-1234           re-run one input
#
# Environment: KX_FUZZ_BUILD_DIR (default build/fuzz), KX_FUZZ_CXX (default clang++),
# KX_JOBS (compile jobs, default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${KX_FUZZ_BUILD_DIR:-build/fuzz}
cxx=${KX_FUZZ_CXX:-clang++}
jobs=${KX_JOBS:-2}
command -v "$cxx" >/dev/null || { echo "fuzz-parser: $cxx not found" >&2; exit 2; }
launcher=""
command -v ccache >/dev/null && launcher=ccache

common=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined
        -fno-sanitize-recover=undefined -I.)
sources=(platform/rtl/*.cpp platform/db/*.cpp common/kxconst.cpp common/kxtables/errors.cpp
         common/pattern.cpp common/kxparser/*.cpp)

mkdir -p "$out/obj" "$out/corpus"
export out cxx launcher
export common_flags="${common[*]}"
# The library sources carry coverage instrumentation; they go into an archive so that the
# link takes only what the target uses.
printf '%s\n' "${sources[@]}" | xargs -P "$jobs" -I{} bash -c '
  src={}; obj="$out/obj/${src//\//_}.o"
  $launcher $cxx $common_flags -fsanitize=fuzzer-no-link -c "$src" -o "$obj"'
objects=()
for src in "${sources[@]}"; do objects+=("$out/obj/${src//\//_}.o"); done
rm -f "$out/libfuzzsrc.a"
ar rcs "$out/libfuzzsrc.a" "${objects[@]}"
$launcher $cxx "${common[@]}" -fsanitize=fuzzer tests/fuzz/parser_fuzz.cpp "$out/libfuzzsrc.a" \
  $(pkg-config --libs icu-i18n icu-uc) -ldl -lpthread -o "$out/parser_fuzz"

# Inputs: arguments naming files re-run those inputs; otherwise fuzz the corpora.
for a in "$@"; do
  if [[ "$a" != -* ]]; then exec "$out/parser_fuzz" "$@"; fi
done
exec "$out/parser_fuzz" -dict=tests/fuzz/parser.dict -max_len=70000 -timeout=10 \
  "$out/corpus" tests/fuzz/corpus/parser "$@"
