#!/usr/bin/env bash
# Renders the bundled sample on a fresh Debian machine: installs what the
# build needs, builds the plug-in and talvik-stmap, then bakes the sample
# take (camera 2, named by the plate's metadata) into Undistort and Distort
# ST maps with previews under out/.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target talvik-stmap

stmap=build/cli/talvik-stmap
"$stmap" inspect sample/sample_take.fbx
for mode in undistort distort; do
  echo "=== $mode" >&2
  "$stmap" render --plate sample/plate.exr --fbx sample/sample_take.fbx --mode "$mode" \
    -o "out/$mode/stmap_$mode.####.exr" --preview "out/$mode/preview_$mode.####.png"
done

cat <<MSG

ST maps for Nuke's STMap node (R = s, G = t, 32-bit float, frames 1001-1024):
  $(pwd)/out/distort/stmap_distort.####.exr       removes the lens distortion from the plate
  $(pwd)/out/undistort/stmap_undistort.####.exr   puts it back on undistorted CG
Previews (a straight checkerboard pushed through each map):
  $(pwd)/out/distort/preview_distort.####.png
  $(pwd)/out/undistort/preview_undistort.####.png
MSG
