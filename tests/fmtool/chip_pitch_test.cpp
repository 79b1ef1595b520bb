// The arranger's pitch arithmetic against the converter's: a bend worked out
// for a note must make the chip sound the pitch asked for, as closely as the
// chip's steps allow, and notes must be moved into each chip's range.
#include "fmtool/arrange/chip_pitch.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using fmtool::Chip;

constexpr double kSquareClock = 3579545;

double Cents(double hz, double reference) { return 1200.0 * std::log2(hz / reference); }
double Hz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

}  // namespace

TEST(ChipPitch, BendsSoundTheCentsAskedFor) {
    // Within one step of the chip at the pitch aimed at: on FM an F-number
    // unit (at most 2.7 cents) plus the key table's own rounding, on the
    // squares a whole period, coarser the higher the note.
    const struct {
        Chip chip;
        int written;  // note number as written; it sounds an octave up
    } cases[] = {{Chip::Fm, 24}, {Chip::Fm, 48}, {Chip::Fm, 59}, {Chip::Fm, 83},
                 {Chip::Square, 46}, {Chip::Square, 48}, {Chip::Square, 60}, {Chip::Square, 72}};
    for (const auto& c : cases) {
        for (double cents : {-1200.0, -200.0, -50.0, -7.0, 7.0, 50.0, 200.0, 700.0}) {
            SCOPED_TRACE(testing::Message() << (c.chip == Chip::Fm ? "FM " : "square ") << c.written << ", "
                                            << cents << " cents");
            const double target = Hz(c.written + fmtool::kOctave) * std::pow(2.0, cents / 1200.0);
            const double period = kSquareClock / (32 * target);
            if (c.chip == Chip::Square && period > 1023) continue;  // below the squares' lowest pitch
            const double step = c.chip == Chip::Fm ? 3.5 : Cents(period, period - 1);
            const int bend = fmtool::ChipBend(c.chip, c.written, cents);
            EXPECT_GE(bend, -8192);
            EXPECT_LE(bend, 8191);
            EXPECT_NEAR(Cents(fmtool::ChipHz(c.chip, c.written, bend), target), 0, step);
        }
        EXPECT_EQ(fmtool::ChipBend(c.chip, c.written, 0), 0);
    }
}

TEST(ChipPitch, UnbentNotesSoundAnOctaveAboveWhatIsWritten) {
    // Written 57 plays A4 on both chips (the converter's octave up).
    EXPECT_NEAR(Cents(fmtool::ChipHz(Chip::Fm, 57, 0), 440.0), 0, 5);
    EXPECT_NEAR(Cents(fmtool::ChipHz(Chip::Square, 57, 0), 440.0), 0, 5);
}

TEST(ChipPitch, NotesMoveByOctavesIntoEachChipsRange) {
    const struct {
        Chip chip;
        int pitch, sounding, octaves;
    } cases[] = {
        {Chip::Fm, 60, 60, 0},        {Chip::Fm, 11, 23, 1},         {Chip::Fm, 120, 108 - 12, -2},
        {Chip::Square, 45, 45, 0},    {Chip::Square, 40, 52, 1},     {Chip::Square, 20, 44 + 12, 3},
        {Chip::Square, 106, 94, -1},  {Chip::Square, 127, 91 + 12, -2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pitch);
        const fmtool::PlacedNote p = fmtool::PlaceNote(c.chip, c.pitch);
        EXPECT_EQ(p.sounding, c.sounding);
        EXPECT_EQ(p.octaves, c.octaves);
        EXPECT_EQ(p.written, p.sounding - fmtool::kOctave);
        EXPECT_TRUE(fmtool::InRange(c.chip, p.sounding));
    }
}
