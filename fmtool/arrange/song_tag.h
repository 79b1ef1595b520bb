// The names and texts of a MIDI file that travel with its arrangement and
// into the GD3 tag of its VGM file.
#pragma once

#include <string>

#include "vgm/gd3.h"

namespace MIDI {
class Score;
}

namespace fmtool {

struct SongTexts {
    std::string title;   // the first track name, else the fallback
    std::string author;  // the copyright notices, joined by "; "
    std::string notes;   // the text events, one a line
    long title_text = -1;  // the title's entry in Score::texts, as the file wrote it; -1 for the fallback
};

// Texts in UTF-8: bytes that are not UTF-8 are read as Latin-1, as most
// older files were written.
SongTexts ReadSongTexts(const MIDI::Score& score, const std::string& fallback_title);

// The file name without its directory and its last extension:
// "music/song.mid" -> "song".
std::string FileStem(const std::string& path);

// A GD3 1.00 tag: title, author, notes, the system "Sega Mega Drive /
// Genesis" and "fmroll <version>" as the converter.
VGM::Gd3Tag SongTag(const SongTexts& texts);

}  // namespace fmtool
