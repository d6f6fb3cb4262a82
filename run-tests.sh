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
