#!/usr/bin/env bash
# Builds the Google Benchmark programs of two commits side by side and runs
# them interleaved, round by round, so that both see the same machine load;
# prints each benchmark's median for both, their ratio and the CPU:
#
#   bench/compare.sh [--rounds N] [--bench PROGRAM]... [--filter REGEX] BASE [HEAD]
#
# HEAD defaults to HEAD. PROGRAM defaults to st_map_bench (also:
# host_render_bench, reload_bench); REGEX is passed to --benchmark_filter.
# Each commit is exported with `git archive` into a scratch folder, built
# there (RelWithDebInfo, ccache when installed) and removed at the end.
# Times are CPU time per iteration; a ratio above 1 means HEAD is slower.
# CXX=g++-11 bench/compare.sh ... builds both with the compiler Nuke uses.
set -euo pipefail
usage() { sed -n '6p' "$0" | sed 's/^#  *//' >&2; exit 2; }

rounds=5
filter=""
programs=()
while [[ $# -gt 0 ]]; do
    case $1 in
        --rounds) [[ $# -ge 2 && $2 =~ ^[1-9][0-9]*$ ]] || usage; rounds=$2; shift 2 ;;
        --bench) [[ $# -ge 2 && $2 =~ ^[a-z_]+$ ]] || usage; programs+=("$2"); shift 2 ;;
        --filter) [[ $# -ge 2 ]] || usage; filter=$2; shift 2 ;;
        -h|--help) usage ;;
        -*) echo "compare.sh: unknown option $1" >&2; usage ;;
        *) break ;;
    esac
done
[[ $# -ge 1 && $# -le 2 ]] || usage
[[ ${#programs[@]} -gt 0 ]] || programs=(st_map_bench)

repo=$(cd "$(dirname "$0")/.." && git rev-parse --show-toplevel)
base=$(git -C "$repo" rev-parse --verify --quiet "$1^{commit}") || { echo "compare.sh: no commit $1" >&2; exit 2; }
head=$(git -C "$repo" rev-parse --verify --quiet "${2:-HEAD}^{commit}") || { echo "compare.sh: no commit ${2:-HEAD}" >&2; exit 2; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/bench_compare.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
build() {  # name commit
    local src=$scratch/$1/src out=$scratch/$1/build
    mkdir -p "$src"
    git -C "$repo" archive "$2" | tar -x -C "$src"
    echo "building ${programs[*]} of $1 ($(git -C "$repo" log -1 --format='%h %s' "$2" | cut -c1-70))" >&2
    cmake -S "$src" -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >"$scratch/$1.configure.log" 2>&1 ||
        { cat "$scratch/$1.configure.log" >&2; exit 1; }
    cmake --build "$out" -j"$(nproc)" --target "${programs[@]}" >"$scratch/$1.build.log" 2>&1 ||
        { tail -40 "$scratch/$1.build.log" >&2; exit 1; }
}
build base "$base"
build head "$head"

args=(--benchmark_repetitions=1 --benchmark_out_format=json)
[[ -n $filter ]] && args+=("--benchmark_filter=$filter")
for ((r = 1; r <= rounds; ++r)); do
    echo "round $r of $rounds" >&2
    for program in "${programs[@]}"; do
        # Alternate which goes first, so neither always runs on a warmer CPU.
        order=(base head)
        ((r % 2 == 0)) && order=(head base)
        for side in "${order[@]}"; do
            "$scratch/$side/build/bench/$program" "${args[@]}" --benchmark_out="$scratch/$side.$program.$r.json" \
                >/dev/null 2>"$scratch/$side.log" ||
                { echo "compare.sh: $program of $side failed" >&2; exit 1; }
        done
    done
done

cpu=$(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo)
isa=$(grep -m1 -o -w -E 'avx512f' /proc/cpuinfo || grep -m1 -o -w -E 'avx2' /proc/cpuinfo || echo sse2)
echo "CPU: $cpu ($isa), $(nproc) CPUs; base $(git -C "$repo" rev-parse --short "$base"), head $(git -C "$repo" rev-parse --short "$head"); median of $rounds rounds"
/usr/bin/python3 "$(dirname "$0")/compare_medians.py" "$scratch"
