#!/usr/bin/env bash
# Bakes the sample take with two builds of talvik-stmap, interleaved run by
# run, and prints each bake's wall time and peak RSS (/usr/bin/time -v):
#
#   bench/bake_compare.sh NEW_STMAP [OLD_STMAP] [ROUNDS]
#
# Cases: 24 frames at 4320x2160 with ZIP and with no compression; one frame
# at 1920x1080, 4320x2160 and 8640x4320 with ZIP (peak RSS by frame size);
# and 24 frames of one held lens (every frame after the first unchanged)
# against 24 frames of the keyed take, for the cost of an unchanged frame.
# Files go to a scratch folder under $TMPDIR (/dev/shm keeps the disk out
# of it), removed after every run. CPU is user + system time.
set -euo pipefail
new=$1
old=${2:-}
rounds=${3:-2}
sample="$(cd "$(dirname "$0")/.." && pwd)/sample"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/bake_compare.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

run() {  # label stmap which args...
    local label=$1 stmap=$2 which=$3
    shift 3
    mkdir -p "$scratch/out"
    /usr/bin/time -v "$stmap" render --quiet "$@" 2> "$scratch/time" >/dev/null || { cat "$scratch/time"; exit 1; }
    local wall rss
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0; for (i = 1; i <= n; ++i) s = s * 60 + p[i]; print s}' "$scratch/time")
    cpu=$(awk -F': ' '/User time|System time/ {s += $2} END {print s}' "$scratch/time")
    rss=$(awk -F': ' '/Maximum resident set size/ {printf "%.0f", $2 / 1024}' "$scratch/time")
    printf '%-34s %-4s %8.2f s wall %8.2f s cpu %6d MB\n' "$label" "$which" "$wall" "$cpu" "$rss"
    rm -rf "$scratch/out"
}

take="--fbx $sample/sample_take.fbx --camera 2"
out="-o $scratch/out/m.####.exr"
cases=(
    "zip 4320x2160 24 frames|--size 4320x2160 $take --frames 1001-1024 $out"
    "none 4320x2160 24 frames|--size 4320x2160 $take --frames 1001-1024 --compression none $out"
    "zip 1920x1080 1 frame|--size 1920x1080 $take --frames 1001 $out"
    "zip 4320x2160 1 frame|--size 4320x2160 $take --frames 1001 $out"
    "zip 8640x4320 1 frame|--size 8640x4320 $take --frames 1001 $out"
    "zip 4320x2160 24 held frames|--size 4320x2160 --set k1=-0.05 --set k2=0.01 --frames 1-24 $out"
    "none 4320x2160 24 held frames|--size 4320x2160 --set k1=-0.05 --set k2=0.01 --frames 1-24 --compression none $out"
)
for ((r = 1; r <= rounds; ++r)); do
    for c in "${cases[@]}"; do
        label=${c%%|*}
        read -r -a args <<< "${c#*|}"
        run "$label" "$new" new "${args[@]}"
        [[ -n "$old" ]] && run "$label" "$old" old "${args[@]}"
    done
done
