#!/usr/bin/env bash
# zelioctl --all version on 1 and on 8 emulated ZEL280s (state files of one
# and eight modules): the whole process, median of RUNS calls each, and the
# ratio. The modules run on threads of their own, so that their 40 ms pauses
# overlap; the goal is 8 modules in at most 1.5 times one module's time.
# A benchmark, not a test.
#
#   scripts/all-bench.sh [ZELIOCTL] [RUNS]   (default build/linux/zelioctl, 21)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
zelioctl="${1:-$ROOT/build/linux/zelioctl}" runs="${2:-21}"
dir=$(mktemp -d)
trap 'rm -r "$dir"' EXIT
median() {  # ms of the median of `runs` calls of zelioctl --emulate=$1 --all version
    local i start times=()
    "$zelioctl" --emulate="$1" --all version >/dev/null
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s%N)
        "$zelioctl" --emulate="$1" --all version >/dev/null
        times+=($((($(date +%s%N) - start) / 1000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n "$((runs / 2 + 1))p"
}
printf 'ZEL280\n' >"$dir/1.state"
printf 'ZEL280\n%.0s' 1 2 3 4 5 6 7 8 >"$dir/8.state"
one=$(median "$dir/1.state") eight=$(median "$dir/8.state")
awk -v a="$one" -v b="$eight" 'BEGIN { printf "1 module: %.1f ms, 8 modules: %.1f ms, ratio %.2f\n", a / 1000, b / 1000, b / a }'
