#!/usr/bin/env bash
# The whole test suite on a fresh Debian machine: installs what it needs, then
# builds and tests an optimised build, installs and packages it and renders
# from the moved install tree and package, builds the plug-in as against a Nuke 15
# NDK with GCC 11, fuzzes the FBX reader for a while, then builds and tests
# under AddressSanitizer + UndefinedBehaviorSanitizer and ThreadSanitizer.
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

# Deployed as a studio would: the install tree and the Debian package, each
# moved elsewhere, render with a decoy libDDImage.so on LD_LIBRARY_PATH.
echo "=== install tree and Debian package" >&2
tools/check-package.sh build

# Nuke 15 builds plug-ins with GCC 11 against its NDK: so must ours, with
# the same bits as the regular build.
echo "=== NDK-layout build with GCC 11" >&2
tools/check-ndk-build.sh build

# The FBX reader reads untrusted files: fuzz it for a bounded time.
tools/fuzz-fbx.sh "${TALVIK_FUZZ_SECONDS:-60}"

build_and_test build-asan -DTALVIK_SANITIZE=address,undefined
build_and_test build-tsan -DTALVIK_SANITIZE=thread
