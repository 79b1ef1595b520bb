#!/bin/sh
# Whole-process benchmark of fmroll.
#
# Builds fmroll in Release, generates the benchmark song (about 20 minutes,
# over 400 000 events), a quarter-size song and the 128-voice bank, then runs
# fmroll on each song RUNS times (default 5), and gzip -6 on the produced
# test.vgm as often. Prints the median wall times, the peak memory, and how
# they compare with the targets:
#   - fmroll's time at most 1.2 x the time of gzip -6 on its own output,
#   - 4 x the events at most 4.4 x the time,
#   - peak memory at most 2 x (MIDI bytes + VGM bytes) + 8 MiB.
# The figures are for reading: the script fails only when something cannot
# be built or run, never on a timing.
#
# Usage: bench/run_bench.sh            (from anywhere)
# Environment: RUNS (default 5), BUILD_DIR (default build-bench in the tree).
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build-bench}
RUNS=${RUNS:-5}
TIME=/usr/bin/time
if [ ! -x "$TIME" ]; then
    echo "run_bench.sh needs GNU time (Debian: apt-get install time)" >&2
    exit 1
fi

. "$ROOT/bench/bench_lib.sh"
bench_build run_bench fmroll
FMROLL=$BUILD/fmroll

WORK=$BUILD/bench-run
mkdir -p "$WORK"
cd "$WORK"
bench_inputs

# measure LABEL DIR COMMAND...: runs COMMAND in DIR under GNU time, appends
# the wall time in seconds to LABEL.times and the peak memory in KiB to
# LABEL.mem. The clock is read around the whole wrapped command, the same
# way for every program measured.
measure() {
    label=$1 dir=$2
    shift 2
    start=$(date +%s%N)
    (cd "$dir" && "$TIME" -v -o "$WORK/$label.tv" "$@" >/dev/null)
    end=$(date +%s%N)
    echo "$start $end" | awk '{ printf "%.4f\n", ($2 - $1) / 1e9 }' >>"$WORK/$label.times"
    sed -n 's/.*Maximum resident set size (kbytes): //p' "$WORK/$label.tv" >>"$WORK/$label.mem"
}

maximum() { sort -n "$1" | tail -n 1; }

rm -f ./*.times ./*.mem
# One untimed run of each fills the page cache and produces test.vgm.
(cd full && "$FMROLL" ../bank.opm song.mid >/dev/null)
(cd quarter && "$FMROLL" ../bank.opm song.mid >/dev/null)
i=0
while [ "$i" -lt "$RUNS" ]; do
    measure fmroll full "$FMROLL" ../bank.opm song.mid
    measure gzip full gzip -6 -c test.vgm
    measure quarter quarter "$FMROLL" ../bank.opm song.mid
    i=$((i + 1))
done

mid_bytes=$(wc -c <full/song.mid)
vgm_bytes=$(wc -c <full/test.vgm)
vgz_bytes=$(wc -c <full/test.vgz)
t_fmroll=$(median fmroll.times)
t_gzip=$(median gzip.times)
t_quarter=$(median quarter.times)
mem_kib=$(maximum fmroll.mem)

awk -v tf="$t_fmroll" -v tg="$t_gzip" -v tq="$t_quarter" -v mem="$mem_kib" \
    -v mid="$mid_bytes" -v vgm="$vgm_bytes" -v vgz="$vgz_bytes" \
    -v ef="$full_events" -v eq="$quarter_events" -v runs="$RUNS" -v load="$(cut -d' ' -f1-3 /proc/loadavg)" '
function verdict(ok) { return ok ? "meets the target" : "MISSES the target" }
BEGIN {
    limit = (2 * (mid + vgm) + 8 * 1048576) / 1024
    printf "machine: %s, load average before the runs: %s\n", "'"$(machine_line)"'", load
    printf "benchmark song: %d bytes, %d events -> test.vgm %d bytes, test.vgz %d bytes\n", mid, ef, vgm, vgz
    printf "medians of %d runs\n", runs
    printf "  fmroll, benchmark song     %.3f s\n", tf
    printf "  gzip -6 -c test.vgm        %.3f s\n", tg
    printf "  ratio fmroll / gzip        %.2f   (at most 1.20: %s)\n", tf / tg, verdict(tf <= 1.2 * tg)
    printf "  fmroll, quarter-size song  %.3f s (%d events)\n", tq, eq
    growth = tf / tq; allowed = 1.1 * ef / eq
    printf "  time growth                %.2f x for %.2f x the events (at most %.2f x: %s)\n", growth, ef / eq, allowed, verdict(growth <= allowed)
    printf "  peak memory                %d KiB (at most %d KiB: %s)\n", mem, limit, verdict(mem <= limit)
}'
