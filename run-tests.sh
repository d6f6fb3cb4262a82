#!/usr/bin/env bash
# The whole test suite on a fresh Debian machine: installs what it needs, then
# builds and tests an optimised build, an AddressSanitizer + UndefinedBehavior-
# Sanitizer build and a ThreadSanitizer build, checks that the plug-in builds
# with GCC 11 (Nuke 15's compiler), and fuzzes the FBX reader for a while.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh

jobs=$(nproc)
build_and_test() {
  local dir=$1
  shift
  echo "=== $dir" >&2
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs"
}

build_and_test build
build_and_test build-asan -DTALVIK_SANITIZE=address,undefined
build_and_test build-tsan -DTALVIK_SANITIZE=thread

# Nuke 15 builds plug-ins with GCC 11: the lens code and the plug-in must too.
echo "=== build-gcc11" >&2
cmake -S . -B build-gcc11 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=gcc-11 \
  -DCMAKE_CXX_COMPILER=g++-11 >/dev/null
cmake --build build-gcc11 -j"$jobs" --target TalvikDistort talvik-stmap

# The FBX reader reads untrusted files: fuzz it for a bounded time.
tools/fuzz-fbx.sh "${TALVIK_FUZZ_SECONDS:-60}"
