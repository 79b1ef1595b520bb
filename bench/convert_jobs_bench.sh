#!/bin/sh
# Whole-process benchmark of fmtool convert on a corpus of real songs, one
# song at a time (-j 1) against two at a time (-j 2).
#
# Builds fmtool in Release, copies the songs of CORPUS (default
# ~/.cache/fmroll/corpus, gathered by scripts/fetch_corpus.sh) to a scratch
# directory, converts them all RUNS times with each job count (default 5) and
# prints the medians and the speed-up, which the target puts at 1.6 or more
# on two cores. The figures are for reading: the script fails only when
# something cannot be built or run, never on a timing.
#
# Usage: bench/convert_jobs_bench.sh   (from anywhere)
# Environment: CORPUS, RUNS (default 5), BUILD_DIR (default build-bench in the tree).
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build-bench}
RUNS=${RUNS:-5}
CORPUS=${CORPUS:-$HOME/.cache/fmroll/corpus}

. "$ROOT/bench/bench_lib.sh"
if ! ls "$CORPUS"/*.mid >/dev/null 2>&1; then
    echo "no songs in $CORPUS (scripts/fetch_corpus.sh gathers them)" >&2
    exit 1
fi
bench_build convert_jobs_bench fmtool
FMTOOL=$BUILD/fmtool

WORK=$BUILD/convert-jobs-run
rm -rf "$WORK"
mkdir -p "$WORK/songs"
cp "$CORPUS"/*.mid "$WORK/songs/"
cd "$WORK"
songs=$(ls songs/*.mid | wc -l)

# One untimed run fills the page cache.
"$FMTOOL" convert -j 2 songs/*.mid 2>/dev/null || true
i=0
while [ "$i" -lt "$RUNS" ]; do
    wall_seconds "$FMTOOL" convert -j 1 songs/*.mid >>j1.times
    wall_seconds "$FMTOOL" convert -j 2 songs/*.mid >>j2.times
    i=$((i + 1))
done

t1=$(median j1.times)
t2=$(median j2.times)
awk -v t1="$t1" -v t2="$t2" -v songs="$songs" -v runs="$RUNS" -v load="$(cut -d' ' -f1-3 /proc/loadavg)" '
BEGIN {
    printf "machine: %s, load average after the runs: %s\n", "'"$(machine_line)"'", load
    printf "%d songs, medians of %d runs\n", songs, runs
    printf "  fmtool convert -j 1   %.3f s\n", t1
    printf "  fmtool convert -j 2   %.3f s\n", t2
    ok = t1 / t2 >= 1.6
    printf "  speed-up              %.2f   (at least 1.60: %s)\n", t1 / t2, ok ? "meets the target" : "MISSES the target"
}'
