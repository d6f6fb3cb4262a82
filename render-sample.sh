#!/usr/bin/env bash
# Renders the bundled sample on a fresh Debian machine: installs what the
# build needs, builds the plug-in and talvik-stmap, then bakes the sample
# take (camera 2, named by the plate's metadata) into ST maps with previews
# under out/, in folders named by what each map does to an image: the
# Distort-mode map removes the lens distortion from the plate (with the
# overscan the undistorted plate needs), the Undistort-mode map puts it back
# on CG.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target talvik-stmap

stmap=build/cli/talvik-stmap
"$stmap" inspect sample/sample_take.fbx
take=(--plate sample/plate.exr --fbx sample/sample_take.fbx)
echo "=== remove_distortion (--direction remove, the node's Mode Distort)" >&2
"$stmap" render "${take[@]}" --direction remove --overscan auto \
  -o out/remove_distortion/stmap.####.exr --preview out/remove_distortion/preview.####.png
echo "=== add_distortion (--direction add, the node's Mode Undistort)" >&2
"$stmap" render "${take[@]}" --direction add \
  -o out/add_distortion/stmap.####.exr --preview out/add_distortion/preview.####.png

cat <<MSG

ST maps for Nuke's STMap node (R = s, G = t, 32-bit float, frames 1001-1024):
  $(pwd)/out/remove_distortion/stmap.####.exr   removes the lens distortion from the plate
                                                 (with the overscan printed above)
  $(pwd)/out/add_distortion/stmap.####.exr      puts it back on undistorted CG
Previews (a straight checkerboard pushed through each map):
  $(pwd)/out/remove_distortion/preview.####.png
  $(pwd)/out/add_distortion/preview.####.png
MSG
