# Shared by the whole-process benchmark scripts (sourced, not run). The
# caller sets ROOT (the source tree) and BUILD (the build directory).

# bench_build NAME TARGET...: configures a Release build in $BUILD and builds
# the targets; on failure shows the log ($BUILD/NAME-build.log) and exits.
bench_build() {
    name=$1
    shift
    mkdir -p "$BUILD"
    if ! { cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DFMROLL_TESTS=OFF &&
           cmake --build "$BUILD" -j2 --target "$@"; } >"$BUILD/$name-build.log" 2>&1; then
        cat "$BUILD/$name-build.log" >&2
        exit 1
    fi
}

# bench_inputs: in the current directory, the benchmark song full/song.mid,
# the quarter-size song quarter/song.mid and the bank bank.opm; sets
# full_events and quarter_events.
bench_inputs() {
    mkdir -p full quarter
    full_events=$(python3 "$ROOT/bench/make_bench_song.py" full/song.mid | sed -n 's/.* \([0-9][0-9]*\) events.*/\1/p')
    quarter_events=$(python3 "$ROOT/bench/make_bench_song.py" quarter/song.mid --scale 0.25 |
        sed -n 's/.* \([0-9][0-9]*\) events.*/\1/p')
    python3 "$ROOT/bench/make_bench_bank.py" bank.opm >/dev/null
}

# wall_seconds COMMAND...: runs COMMAND, output discarded and its exit
# status ignored (fmtool check exits 1 when a song loses anything), and
# prints its wall time in seconds.
wall_seconds() {
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    echo "$start $end" | awk '{ printf "%.4f\n", ($2 - $1) / 1e9 }'
}

# median FILE: the median of the numbers in FILE, one a line.
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# machine_line: cores and processor, for the report.
machine_line() { echo "$(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"; }
