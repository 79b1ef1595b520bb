#!/bin/sh
# Whole-process benchmark of fmtool convert against fmroll.
#
# Builds fmroll and fmtool in Release, generates the benchmark song (about 20
# minutes, over 400 000 events), a quarter-size song and the 128-voice bank,
# then runs, RUNS times each (default 5):
#   - fmroll on the benchmark song (reads, renders, writes test.vgm and test.vgz),
#   - fmtool convert on it (reads, arranges, renders, tags, writes song.vgz),
#   - fmtool convert on the quarter-size song,
#   - fmtool arrange on the benchmark song alone.
# Prints the medians and how they compare with the targets:
#   - fmtool convert at most 2 x the time of fmroll,
#   - 4 x the events at most 4.4 x the time (time linear in the events).
# The figures are for reading: the script fails only when something cannot
# be built or run, never on a timing.
#
# Usage: bench/convert_bench.sh         (from anywhere)
# Environment: RUNS (default 5), BUILD_DIR (default build-bench in the tree).
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build-bench}
RUNS=${RUNS:-5}

. "$ROOT/bench/bench_lib.sh"
bench_build convert_bench fmroll fmtool
FMROLL=$BUILD/fmroll
FMTOOL=$BUILD/fmtool

WORK=$BUILD/convert-bench-run
mkdir -p "$WORK"
cd "$WORK"
bench_inputs

# measure LABEL DIR COMMAND...: runs COMMAND in DIR and appends its wall time
# in seconds to LABEL.times.
measure() {
    label=$1 dir=$2
    shift 2
    (cd "$dir" && wall_seconds "$@") >>"$WORK/$label.times"
}

rm -f ./*.times
# One untimed run of each fills the page cache.
(cd full && "$FMROLL" ../bank.opm song.mid >/dev/null && "$FMTOOL" convert --bank ../bank.opm song.mid 2>/dev/null)
i=0
while [ "$i" -lt "$RUNS" ]; do
    measure fmroll full "$FMROLL" ../bank.opm song.mid
    measure convert full "$FMTOOL" convert --bank ../bank.opm song.mid
    measure quarter quarter "$FMTOOL" convert --bank ../bank.opm song.mid
    measure arrange full "$FMTOOL" arrange --bank ../bank.opm song.mid -o arranged.mid
    i=$((i + 1))
done

t_fmroll=$(median fmroll.times)
t_convert=$(median convert.times)
t_quarter=$(median quarter.times)
t_arrange=$(median arrange.times)

awk -v tf="$t_fmroll" -v tc="$t_convert" -v tq="$t_quarter" -v ta="$t_arrange" \
    -v ef="$full_events" -v eq="$quarter_events" -v runs="$RUNS" -v load="$(cut -d' ' -f1-3 /proc/loadavg)" '
function verdict(ok) { return ok ? "meets the target" : "MISSES the target" }
BEGIN {
    printf "machine: %s, load average after the runs: %s\n", "'"$(machine_line)"'", load
    printf "benchmark song: %d events; quarter-size song: %d events; medians of %d runs\n", ef, eq, runs
    printf "  fmroll                          %.3f s\n", tf
    printf "  fmtool convert                  %.3f s\n", tc
    printf "  ratio convert / fmroll          %.2f   (at most 2.00: %s)\n", tc / tf, verdict(tc <= 2 * tf)
    printf "  fmtool arrange alone            %.3f s\n", ta
    printf "  fmtool convert, quarter song    %.3f s\n", tq
    growth = tc / tq; allowed = 1.1 * ef / eq
    printf "  time growth                     %.2f x for %.2f x the events (at most %.2f x: %s)\n", growth, ef / eq, allowed, verdict(growth <= allowed)
}'
