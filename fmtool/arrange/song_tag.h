// The names and texts of a MIDI file that travel with its arrangement and
// into the GD3 tag of its VGM file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "text/text_decode.h"
#include "vgm/gd3.h"

namespace MIDI {
class Score;
}

namespace fmtool {

// Each text in UTF-8, decoded by Text::DecodeText with the song's encoding
// as the preference, without control characters or blanks at its ends. A
// text with Japanese characters goes to the Japanese field of its kind, one
// without to the other; either may stay empty.
struct SongTexts {
    // The song's name: the track names of the first named track that plays
    // no notes (any track of a one-track file), except General MIDI program
    // names ("Dulcimer"), which name parts as the names of tracks that play
    // do, and copyright notices ("(c) 1991"). Of these names the first without Japanese characters and the
    // first with them. When there is neither, the fallback (the file name).
    std::string title;
    std::string title_japanese;
    std::string author;           // the copyright notices, joined by "; "
    std::string author_japanese;
    std::string notes;            // the text events, one a line
    // The entries of Score::texts the titles came from, in file order; empty
    // when the title is the fallback.
    std::vector<std::uint32_t> title_texts;
    Text::Encoding encoding = Text::Encoding::Unknown;  // the song's, as Text::SongEncoding found it
};

SongTexts ReadSongTexts(const MIDI::Score& score, const std::string& fallback_title);

// The file name without its directory and its last extension:
// "music/song.mid" -> "song".
std::string FileStem(const std::string& path);

// A GD3 1.00 tag: the titles and authors in their fields, the notes, the
// system "Sega Mega Drive / Genesis" and "fmroll <version>" as the converter.
VGM::Gd3Tag SongTag(const SongTexts& texts);

}  // namespace fmtool
