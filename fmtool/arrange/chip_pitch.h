// The pitch the converter gives a note on each chip, and the note and bend
// values the arranger writes so that the chips sound the source's pitch.
//
// The converter plays every note one octave above its MIDI number on both
// chips (FM note 60 is block 5, F-number 643; square note n takes the period
// of note n + 12). So the arranged file writes each note an octave below the
// pitch it should sound. Its bend values are worked out for the converter's
// arithmetic, not for a General MIDI synthesiser: FM bends move the F-number
// linearly, square bends the period, and neither is linear in pitch.
#pragma once

namespace fmtool {

enum class Chip { Fm, Square };

constexpr int kOctave = 12;

// The sounding pitches (MIDI numbers, 69 = A4 = 440 Hz) each chip plays in
// tune. FM: blocks 0-7 of the key table. Squares: from their longest period
// (about 109 Hz: A2 is the lowest note with a period of its own) up to where
// the whole-number period is still within 50 cents of the note.
constexpr int kFmLowest = 12;
constexpr int kFmHighest = 107;
constexpr int kSquareLowest = 45;
constexpr int kSquareHighest = 105;

// A sounding pitch brought into a chip's range by whole octaves.
struct PlacedNote {
    int sounding = 0;  // the pitch the chip will play
    int written = 0;   // the note number to write: sounding - 12
    int octaves = 0;   // octaves moved, + up, - down
};
PlacedNote PlaceNote(Chip chip, int pitch);
bool InRange(Chip chip, int pitch);

// The bend range the arranger writes (registered parameter 0/0) on every chip
// channel that bends. With 12 semitones the converter's FM detune is
// trunc(bend x 644 / 8192) F-number units, fine enough for any bend.
constexpr int kChipBendRange = 12;

// The bend value (-8192..8191) that makes `written` (as the converter plays
// it on the chip) sound `cents` above its own pitch, as near as the chip's
// steps allow. Bends beyond about an octave are held at the chip's limit.
int ChipBend(Chip chip, int written, double cents);

// Frequency in Hz the converter gives `written` on `chip` with a bend value.
double ChipHz(Chip chip, int written, int bend);

}  // namespace fmtool
