#!/usr/bin/env bash
# How long talvik-stmap takes to stop after SIGINT in the middle of one
# 8640x4320 frame, while measuring --overscan auto and while baking:
#
#   bench/stop_latency.sh STMAP [DELAY_SECONDS]
set -euo pipefail
stmap=$1
delay=${2:-1.5}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/stop_latency.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
for extra in "--overscan auto --mode distort" "--mode undistort"; do
    # shellcheck disable=SC2086
    "$stmap" render --quiet --size 8640x8640 --set k1=-0.05 $extra -o "$scratch/m.exr" 2>/dev/null &
    pid=$!
    sleep "$delay"
    start=$(date +%s.%N)
    kill -INT "$pid" 2>/dev/null || true
    status=0
    wait "$pid" || status=$?
    end=$(date +%s.%N)
    left=$(find "$scratch" -mindepth 1 | wc -l)
    printf '%-32s exit %3d after %.3f s, %d files left\n' "$extra" "$status" "$(echo "$end - $start" | bc)" "$left"
done
