#!/usr/bin/env bash
# Fuzzes the FBX reader with libFuzzer for a bounded time.
#
#   tools/fuzz-fbx.sh [seconds]      (default 60)
#
# Needs clang, libclang-rt-14-dev (libFuzzer and the sanitizer runtimes) and
# zlib1g-dev. Builds only the reader and the fuzz target, straight with
# clang++, into build-fuzz/, and runs on a copy of the seed corpus so the
# checked-in fixtures are never touched. Exits non-zero when the fuzzer finds
# a crash, a leak or an undefined-behaviour report.
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
cxx="${CXX_FUZZ:-clang++}"

mkdir -p "$out"
flags=(-std=c++17 -O1 -g -fno-omit-frame-pointer -ffp-contract=off
       -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
       -I"$root")
"$cxx" "${flags[@]}" -o "$out/fbx_fuzz" \
    "$root"/host/fbx/*.cpp "$root/tests/fuzz/fbx_fuzz.cpp" -lz

corpus="$out/corpus"
rm -rf "$corpus"
mkdir -p "$corpus" "$out/artifacts"
cp "$root"/tests/fixtures/fbx/*.fbx "$root"/sample/*.fbx "$corpus"/
if [ -d "$root/tests/fuzz/corpus" ]; then cp "$root"/tests/fuzz/corpus/* "$corpus"/; fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
"$out/fbx_fuzz" "$corpus" \
    -dict="$root/tests/fuzz/fbx.dict" \
    -max_total_time="$seconds" -max_len=131072 -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix="$out/artifacts/" -print_final_stats=1
