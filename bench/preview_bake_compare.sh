#!/usr/bin/env bash
# Bakes the sample take (24 frames, camera 2, ZIP) with and without
# previews, interleaved run by run, and prints each run's wall and CPU time,
# then per case the median wall times and their ratio (with / without):
#
#   bench/preview_bake_compare.sh STMAP [ROUNDS]
#
# Cases: both of render-sample.sh's bakes (Mode Distort with --overscan
# auto, Mode Undistort) at 1920x1080 and at 3840x2160. Files go to a
# scratch folder under $TMPDIR (/dev/shm keeps the disk out of it), removed
# after every run. CPU is user + system time.
set -euo pipefail
stmap=$1
rounds=${2:-5}
sample="$(cd "$(dirname "$0")/.." && pwd)/sample"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/preview_bake_compare.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

run() {  # label args... ; prints "wall cpu"
    /usr/bin/time -f '%e %U %S' -o "$scratch/time" "$stmap" render --quiet "$@" >/dev/null 2>"$scratch/err" ||
        { cat "$scratch/err" "$scratch/time"; exit 1; }
    rm -rf "$scratch/out"
    awk '{printf "%.2f %.2f\n", $1, $2 + $3}' "$scratch/time"
}

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

take="--fbx $sample/sample_take.fbx --camera 2 --frames 1001-1024"
cases=(
    "distort 1920x1080|--size 1920x1080 --mode distort --overscan auto"
    "undistort 1920x1080|--size 1920x1080 --mode undistort"
    "distort 3840x2160|--size 3840x2160 --mode distort --overscan auto"
    "undistort 3840x2160|--size 3840x2160 --mode undistort"
)
declare -A walls
for ((r = 1; r <= rounds; ++r)); do
    for c in "${cases[@]}"; do
        label=${c%%|*}
        read -r -a args <<< "${c#*|} $take -o $scratch/out/m.####.exr"
        for previews in without with; do
            extra=()
            [[ $previews == with ]] && extra=(--preview "$scratch/out/p.####.png")
            read -r wall cpu <<< "$(run "${args[@]}" "${extra[@]}")"
            printf '%-20s %-7s round %d: %6.2f s wall %6.2f s cpu\n' "$label" "$previews" "$r" "$wall" "$cpu"
            walls[$label,$previews]+="$wall "
        done
    done
done
printf '\n%-20s %14s %14s %8s\n' case "without (s)" "with (s)" ratio
for c in "${cases[@]}"; do
    label=${c%%|*}
    without=$(tr ' ' '\n' <<< "${walls[$label,without]}" | grep . | median)
    with=$(tr ' ' '\n' <<< "${walls[$label,with]}" | grep . | median)
    printf '%-20s %14.2f %14.2f %8.2f\n' "$label" "$without" "$with" "$(echo "$with / $without" | bc -l)"
done
