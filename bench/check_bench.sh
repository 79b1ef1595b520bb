#!/bin/sh
# fmtool check against fmroll on the benchmark song.
#
# Builds fmroll and fmtool in Release, generates the benchmark song and the
# 128-voice bank, then runs `fmroll bank.opm full/song.mid` and `fmtool check
# bank.opm full/song.mid` RUNS times each (default 5), alternating, and prints the
# median wall times. check reads the song as fmroll does and models the
# playback, but renders, writes and compresses nothing, so it should take
# less time than fmroll. The figures are for reading: the script fails only
# when something cannot be built or run, never on a timing.
#
# Usage: bench/check_bench.sh          (from anywhere)
# Environment: RUNS (default 5), BUILD_DIR (default build-bench in the tree).
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build-bench}
RUNS=${RUNS:-5}

. "$ROOT/bench/bench_lib.sh"
bench_build check_bench fmroll fmtool

WORK=$BUILD/check-bench-run
mkdir -p "$WORK"
cd "$WORK"
bench_inputs

rm -f fmroll.times check.times
"$BUILD/fmroll" bank.opm full/song.mid >/dev/null  # fills the page cache
i=0
while [ "$i" -lt "$RUNS" ]; do
    wall_seconds "$BUILD/fmroll" bank.opm full/song.mid >>fmroll.times
    wall_seconds "$BUILD/fmtool" check bank.opm full/song.mid >>check.times
    i=$((i + 1))
done

"$BUILD/fmtool" check bank.opm full/song.mid | tail -n 1 || true
awk -v tf="$(median fmroll.times)" -v tc="$(median check.times)" -v runs="$RUNS" \
    -v song="$(wc -c <full/song.mid)" -v load="$(cut -d' ' -f1-3 /proc/loadavg)" 'BEGIN {
    printf "benchmark song: %d bytes; load average: %s; medians of %d runs\n", song, load, runs
    printf "  fmroll bank.opm song.mid        %.3f s\n", tf
    printf "  fmtool check bank.opm song.mid  %.3f s\n", tc
    printf "  check / fmroll                  %.2f   (below 1: %s)\n", tc / tf, tc < tf ? "met" : "NOT met"
}'
