#!/bin/sh
# fmtool check against fmroll on the benchmark song.
#
# Builds fmroll and fmtool in Release, generates the benchmark song and the
# 128-voice bank, then runs `fmroll bank.opm song.mid` and `fmtool check
# bank.opm song.mid` RUNS times each (default 5), alternating, and prints the
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

mkdir -p "$BUILD"
if ! { cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DFMROLL_TESTS=OFF &&
       cmake --build "$BUILD" -j2 --target fmroll fmtool; } >"$BUILD/check_bench-build.log" 2>&1; then
    cat "$BUILD/check_bench-build.log" >&2
    exit 1
fi

WORK=$BUILD/check-bench-run
mkdir -p "$WORK"
cd "$WORK"
python3 "$ROOT/bench/make_bench_song.py" song.mid >/dev/null
python3 "$ROOT/bench/make_bench_bank.py" bank.opm >/dev/null

# seconds COMMAND...: wall time of one run, output discarded (check exits 1
# when the song loses anything, which the benchmark song does).
seconds() {
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    echo "$start $end" | awk '{ printf "%.4f\n", ($2 - $1) / 1e9 }'
}
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

rm -f fmroll.times check.times
"$BUILD/fmroll" bank.opm song.mid >/dev/null  # fills the page cache
i=0
while [ "$i" -lt "$RUNS" ]; do
    seconds "$BUILD/fmroll" bank.opm song.mid >>fmroll.times
    seconds "$BUILD/fmtool" check bank.opm song.mid >>check.times
    i=$((i + 1))
done

"$BUILD/fmtool" check bank.opm song.mid | tail -n 1 || true
awk -v tf="$(median fmroll.times)" -v tc="$(median check.times)" -v runs="$RUNS" \
    -v song="$(wc -c <song.mid)" -v load="$(cut -d' ' -f1-3 /proc/loadavg)" 'BEGIN {
    printf "benchmark song: %d bytes; load average: %s; medians of %d runs\n", song, load, runs
    printf "  fmroll bank.opm song.mid        %.3f s\n", tf
    printf "  fmtool check bank.opm song.mid  %.3f s\n", tc
    printf "  check / fmroll                  %.2f   (below 1: %s)\n", tc / tf, tc < tf ? "met" : "NOT met"
}'
