#!/usr/bin/env bash
# How long talvik-stmap takes to stop after SIGINT: in the middle of one
# 8640x8640 frame while measuring --overscan auto, while baking, and while
# baking with a preview or making the preview alone; and in a bake of the
# sample take at 1920x1080 with previews, where most of the time went to
# previews before they were made in bands:
#
#   bench/stop_latency.sh STMAP [DELAY_SECONDS]
set -euo pipefail
stmap=$1
delay=${2:-1.5}
sample="$(cd "$(dirname "$0")/.." && pwd)/sample"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/stop_latency.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
big="--size 8640x8640 --set k1=-0.05"
cases=(
    "$big --overscan auto --mode distort -o $scratch/m.exr"
    "$big --mode undistort -o $scratch/m.exr"
    "$big --mode undistort -o $scratch/m.exr --preview $scratch/p.png"
    "$big --mode undistort --preview $scratch/p.png"
    "--fbx $sample/sample_take.fbx --camera 2 --size 1920x1080 -o $scratch/m.#.exr --preview $scratch/p.#.png"
)
for args in "${cases[@]}"; do
    # shellcheck disable=SC2086
    "$stmap" render --quiet $args 2>/dev/null &
    pid=$!
    sleep "$delay"
    start=$(date +%s.%N)
    kill -INT "$pid" 2>/dev/null || true
    status=0
    wait "$pid" || status=$?
    end=$(date +%s.%N)
    temporaries=$(find "$scratch" -mindepth 1 -name '*.talvik-tmp-*' | wc -l)
    shown=${args//$scratch\//}
    printf '%-64s exit %3d after %.3f s, %d temporaries left\n' "${shown//$sample\//}" "$status" \
        "$(echo "$end - $start" | bc)" "$temporaries"
    rm -rf "${scratch:?}"/*
done
