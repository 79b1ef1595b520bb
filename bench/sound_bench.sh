#!/bin/sh
# How much fmtool convert sounds like the song: for each MIDI file of a corpus,
# renders it with FluidSynth and the FluidR3 General MIDI soundfont (the
# reference) and with the TimGM6mb soundfont (the yardstick: another good GM
# player), converts it with fmtool convert and renders the first 61 s of the
# VGM with Game Music Emu, then compares the yardstick and the conversion with
# the reference over the first 60 s (bench/sound_compare.py: pitch classes,
# 84 semitones, onsets, loudness). Writes one CSV row per song and prints the
# means. The figures are for reading; the script fails only when something
# cannot be built or run.
#
# Songs are skipped (and listed) when they hold fewer than MIN_NOTES notes
# (default 50: exercises and test files, not songs) or when the reference has
# less than MIN_SOUND seconds of sound in the first 60 (default 5).
#
# Usage: bench/sound_bench.sh [CORPUS_DIR]   (default ~/.cache/fmroll/corpus)
# Environment:
#   FMTOOL     the fmtool to measure (default: a Release build in BUILD_DIR)
#   BUILD_DIR  default build-bench in the tree
#   OUT        the run's directory: sound.csv, renders (default BUILD_DIR/sound-bench-run)
#   CACHE      FluidSynth renders, kept between runs (default ~/.cache/fmroll/sound-bench)
#   JOBS       songs at once (default 2); everything runs under nice
#   SF2_DIR    where FluidR3_GM.sf2 and TimGM6mb.sf2 are (default /usr/share/sounds/sf2)
#   SLOW_PPM   for diagnosis: undo a player clock this many ppm slow in the
#              conversion's render before comparing (sound_compare.py --slow-ppm)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BENCH=$ROOT/bench
BUILD=${BUILD_DIR:-$ROOT/build-bench}
OUT=${OUT:-$BUILD/sound-bench-run}
CACHE=${CACHE:-$HOME/.cache/fmroll/sound-bench}
SF2_DIR=${SF2_DIR:-/usr/share/sounds/sf2}
MIN_NOTES=${MIN_NOTES:-50}
MIN_SOUND=${MIN_SOUND:-5}
SLOW_PPM=${SLOW_PPM:-}
# FluidSynth writes 32-bit float files, which do not clip, so the gain only
# sets the level; 0.2 is FluidSynth's own default. Every figure is
# independent of the overall level.
GAIN=0.2

# render_fluid SF2 SONG OUT: the first 61 s of SONG played by FluidSynth with
# SF2, cached under the soundfont's name and the song's checksum.
render_fluid() {
    sf2=$1 song=$2
    dir=$CACHE/$(basename "$sf2" .sf2)-g$GAIN
    sum=$(md5sum "$song" | cut -c1-12)
    cached=$dir/$(basename "$song").$sum.wav
    if [ ! -f "$cached" ]; then
        mkdir -p "$dir"
        tmp=$OUT/work/$(basename "$song").$(basename "$sf2" .sf2).full.wav
        # Reverb and chorus stay on, as a General MIDI player plays the song.
        timeout 600 fluidsynth -ni -q -g "$GAIN" -O float -r 44100 -F "$tmp" "$sf2" "$song" >/dev/null 2>&1 &&
            "$BENCH/sound_render.py" wav "$tmp" "$cached.part" &&
            mv "$cached.part" "$cached"
        rm -f "$tmp" "$cached.part"
        [ -f "$cached" ] || return 1
    fi
    echo "$cached"
}

# one_song SONG: appends the song's row to $OUT/rows/NAME.csv:
# name,status,notes then the figures of the yardstick and of the conversion.
one_song() {
    song=$1
    name=$(basename "$song")
    row=$OUT/rows/$name.csv
    notes=$("$BENCH/sound_render.py" notes "$song" 2>/dev/null || echo 0)
    if [ "$notes" -lt "$MIN_NOTES" ]; then
        echo "$name,skipped: $notes notes,$notes" >"$row"
        return
    fi
    if ! ref=$(render_fluid "$SF2_DIR/FluidR3_GM.sf2" "$song") ||
       ! yard=$(render_fluid "$SF2_DIR/TimGM6mb.sf2" "$song"); then
        echo "$name,FluidSynth failed,$notes" >"$row"
        return
    fi
    vgz=$OUT/work/$name.vgz
    wav=$OUT/work/$name.wav
    if ! "$FMTOOL" convert "$song" -o "$vgz" >/dev/null 2>"$OUT/work/$name.log"; then
        echo "$name,convert failed: $(tail -n 1 "$OUT/work/$name.log" | tr ',' ' '),$notes" >"$row"
        return
    fi
    # A render of the same VGM bytes from an earlier run is used again.
    sum=$(md5sum <"$vgz")
    if [ ! -f "$wav" ] || [ "$(cat "$wav.md5" 2>/dev/null)" != "$sum" ]; then
        rm -f "$wav.md5"
        "$BENCH/sound_render.py" vgm "$vgz" "$wav" 2>"$OUT/work/$name.log" && echo "$sum" >"$wav.md5"
    fi
    if [ ! -f "$wav.md5" ] ||
       ! y=$("$BENCH/sound_compare.py" "$ref" "$yard" --csv x 2>"$OUT/work/$name.log") ||
       ! c=$("$BENCH/sound_compare.py" "$ref" "$wav" --csv x ${SLOW_PPM:+--slow-ppm "$SLOW_PPM"} 2>"$OUT/work/$name.log"); then
        echo "$name,failed: $(tail -n 1 "$OUT/work/$name.log" | tr ',' ' '),$notes" >"$row"
        return
    fi
    echo "$name,ok,$notes,${y#x,},${c#x,}" >"$row"
}

if [ "${1:-}" = --song ]; then
    one_song "$2"
    exit 0
fi

CORPUS=${1:-$HOME/.cache/fmroll/corpus}
if [ -z "${FMTOOL:-}" ]; then
    . "$BENCH/bench_lib.sh"
    bench_build sound_bench fmtool
    FMTOOL=$BUILD/fmtool
fi
for sf2 in FluidR3_GM TimGM6mb; do
    [ -f "$SF2_DIR/$sf2.sf2" ] || { echo "sound_bench: $SF2_DIR/$sf2.sf2 is missing (Debian fluid-soundfont-gm, timgm6mb-soundfont)" >&2; exit 1; }
done
FMTOOL=$(cd "$(dirname "$FMTOOL")" && pwd)/$(basename "$FMTOOL")
rm -rf "$OUT/rows"
mkdir -p "$OUT/rows" "$OUT/work"
export FMTOOL OUT CACHE SF2_DIR MIN_NOTES SLOW_PPM
find -L "$CORPUS" -maxdepth 1 -type f \( -name '*.mid' -o -name '*.midi' -o -name '*.kar' -o -name '*.rmi' \) -print0 |
    sort -z | xargs -0 -P "${JOBS:-2}" -n 1 nice -n 10 sh "$0" --song

{
    echo "song,status,notes,y_chroma12,y_chroma84,y_onset,y_loudness,y_shift_ms,y_frames,ref_sound_s,c_chroma12,c_chroma84,c_onset,c_loudness,c_shift_ms,c_frames,c_ref_sound_s"
    cat "$OUT"/rows/*.csv
} >"$OUT/sound.csv"
echo "fmtool: $FMTOOL"
"$BENCH/sound_summary.py" "$OUT/sound.csv" --min-sound "$MIN_SOUND"
