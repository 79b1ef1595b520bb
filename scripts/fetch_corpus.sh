#!/usr/bin/env bash
# Gathers a corpus of real MIDI files from Debian packages that ship them
# (game soundtracks, piano lessons, sequencer and notation examples) for trying
# the converter and fmtool on music from the wild. The packages are only
# downloaded (apt-get download) and unpacked (dpkg-deb -x) into a cache,
# never installed; the music stays outside the repository.
#
#   scripts/fetch_corpus.sh [DIR]
#
# DIR defaults to $FMROLL_CORPUS, else ~/.cache/fmroll/corpus. Every file lands
# flat in DIR as <package>--<file name> (a compressed .mid.gz unpacked to .mid).
# Run it again at any time: a package already gathered is skipped, and a
# downloaded .deb is kept (in DIR/.debs) and not downloaded again. It prints the directory, then one line
# per file. If apt-get download cannot find a package, run `apt-get update`
# first.
set -euo pipefail

corpus=${1:-${FMROLL_CORPUS:-$HOME/.cache/fmroll/corpus}}
debs="$corpus/.debs"
mkdir -p "$corpus" "$debs"
corpus=$(cd "$corpus" && pwd)
debs="$corpus/.debs"

# package<TAB>paths inside the package (shell patterns, relative to /).
# Chosen for variety: format 0 and 1 files, one to sixteen channels, drums,
# tempo changes, pitch bends, lyrics, long pieces and short lessons.
packages=(
  "openttd-openmsx	usr/share/games/openttd/baseset/openmsx/*.mid"
  "simutrans-data	usr/share/games/simutrans/music/0*.mid usr/share/games/simutrans/music/1*.mid usr/share/games/simutrans/music/20-*.mid"
  "planetblupi-music-midi	usr/share/planetblupi/music/*.mid"
  "pianobooster	usr/share/doc/pianobooster/courses/*/*.mid usr/share/doc/pianobooster/courses/*/*.mid.gz"
  "playmidi	usr/share/doc/playmidi/examples/*.mid.gz"
  "mma	usr/share/doc/mma/examples/simple/*.mid usr/share/doc/mma/examples/tutorial/*.mid usr/share/doc/mma/examples/lyrics/twinkle-kar.kar usr/share/doc/mma/examples/midi-inc/frankie.mid usr/share/doc/mma/examples/midi-inc/drum.mid usr/share/doc/mma/examples/midi-inc/rec1.mid usr/share/doc/mma/examples/plectrum/mandala.mid usr/share/doc/mma/examples/rndset/tempo.mid"
  "kobodeluxe-data	usr/share/kobo-deluxe/sfx/*.mid"
  "pinball-table-hurd-data	usr/share/games/pinball/hurd/*.mid"
  "liquidwar-data	usr/share/games/liquidwar/music/*.mid"
  "crimson	usr/share/games/crimson/music/*.mid"
  "pd-mrpeach	usr/lib/pd/extra/mrpeach/*.mid"
  "sfront	usr/share/doc/sfront/examples/bach/bach.mid"
  "octave-audio	usr/share/octave/packages/audio-*/data/*.mid"
  "python3-pyo	usr/lib/python3/dist-packages/pyo/examples/snds/*.mid"
  "yoshimi-data	usr/share/yoshimi/examples/*.mid"
  "chuck-data	usr/share/doc/chuck-data/examples/midi/*.mid"
)

echo "corpus: $corpus"
for entry in "${packages[@]}"; do
  package=${entry%%	*}
  patterns=${entry#*	}
  # A package is done once its files were copied; its .deb stays as a cache.
  [ -f "$debs/$package.done" ] && continue
  deb=$(ls "$debs/${package}"_*.deb 2>/dev/null | head -n 1 || true)
  if [ -z "$deb" ]; then
    if ! log=$(cd "$debs" && apt-get download -q "$package" 2>&1); then
      echo "$log" >&2
      echo "fetch_corpus: cannot download $package (try apt-get update)" >&2
      exit 1
    fi
    deb=$(ls "$debs/${package}"_*.deb | head -n 1)
  fi
  unpacked=$(mktemp -d "$debs/unpack.XXXXXX")
  dpkg-deb -x "$deb" "$unpacked"
  for pattern in $patterns; do
    for source in "$unpacked"/$pattern; do
      [ -f "$source" ] || continue
      name="$package--$(basename "$source")"
      case $name in
        *.gz) gzip -dc "$source" >"$corpus/${name%.gz}" ;;
        *) cp "$source" "$corpus/$name" ;;
      esac
    done
  done
  rm -rf "$unpacked"
  touch "$debs/$package.done"
done

count=0
while IFS= read -r file; do
  echo "$file"
  count=$((count + 1))
done < <(find "$corpus" -maxdepth 1 -type f \( -name '*.mid' -o -name '*.kar' \) | sort)
echo "$count files in $corpus"
