#include "fmtool/arrange/note_writer.h"

#include <algorithm>

#include "chips/sn76489_map.h"
#include "fmtool/arrange/chip_level.h"
#include "fmtool/arrange/chip_pitch.h"
#include "fmtool/arrange/drum_map.h"

namespace fmtool {

namespace {

constexpr int kSilentAttenuation = SN76489::kSilent;
constexpr int kCentrePan = 64;
constexpr int kLeftBelow = 32, kRightAbove = 95;

int ExpressionOf(int attenuation) { return 127 - 8 * std::min(attenuation, kSilentAttenuation - 1); }

}  // namespace

double SongGain(const Performance& perf) {
    double peak = kSilentDb;
    for (const SourceNote& n : perf.notes) peak = std::max(peak, n.LevelDb());
    for (const DrumHit& h : perf.hits) peak = std::max(peak, h.level_db);
    return peak > kSilentDb ? -peak : 0;
}

int NearestPan(int pan) { return pan < kLeftBelow ? 0 : pan > kRightAbove ? 127 : kCentrePan; }

int NoteWriter::SquareExpression(double db) const { return DcsgExpression(db + gain_ - kSquareMixDb); }

// Attenuation steps (2 dB) of a level on the squares and the noise.
int NoteWriter::DcsgAttenuation(double db) const { return (127 - SquareExpression(db)) / 8; }

void NoteWriter::Note(const Placement& p, int fm_program, const SourceNote& note,
                      const std::vector<ChannelChange>& changes) {
    const unsigned ch = p.channel;
    const Chip chip = ChipOf(ch);
    const int written = p.note.written;
    const std::uint64_t start = p.waited ? FirstTickOfFrame(p.start) : note.start.tick;
    int velocity = note.velocity;
    if (chip == Chip::Fm) {
        tracks_.Program(ch, start, fm_program);
        tracks_.Pan(ch, start, NearestPan(note.pan));
        velocity = FmVelocity(voices_.Voice(fm_program), note.LevelDb() + gain_);
    } else {
        tracks_.Expression(ch, start, SquareExpression(note.LevelDb()));
    }
    tracks_.Bend(ch, start, ChipBend(chip, written, note.bend_cents));
    tracks_.NoteOn(ch, start, written, velocity);

    for (std::size_t k = note.next_change; k < changes.size() && changes[k].at.frame < p.end; ++k) {
        const ChannelChange& c = changes[k];
        const std::uint64_t tick = std::max(c.at.tick, start);
        if (c.kind == ChannelChange::Bend) {
            tracks_.Bend(ch, tick, ChipBend(chip, written, c.value));
        } else if (c.kind == ChannelChange::Level && chip == Chip::Square) {
            tracks_.Expression(ch, tick, SquareExpression(note.velocity_db + c.value));
        } else if (c.kind == ChannelChange::Pan && chip == Chip::Fm) {
            tracks_.Pan(ch, tick, NearestPan(c.pan));
        }
    }
    const bool onTime = !p.cut && p.end == note.end.frame;
    tracks_.NoteOff(ch, onTime ? note.end.tick : FirstTickOfFrame(p.end));
}

// A skin sweeps down two octaves over its length; on a square its level
// falls frame by frame as on the noise channel.
void NoteWriter::ToneDrum(const Placement& p, int fm_program, const DrumHit& hit) {
    const unsigned ch = p.channel;
    const Chip chip = ChipOf(ch);
    const DrumSound& sound = DrumSoundOf(hit.key);
    const int written = p.note.written;
    const double span = std::max(1, sound.tone_frames - 1);
    auto cents = [&](std::uint64_t k) {
        return sound.tone == ToneDrum::Skin ? kSkinSweepCents / 2 - kSkinSweepCents * (k / span) : 0.0;
    };
    const int first = DcsgAttenuation(hit.level_db) + sound.attenuation;
    const std::uint64_t tick = hit.start.tick;
    int velocity = hit.velocity;
    if (chip == Chip::Fm) {
        tracks_.Program(ch, tick, fm_program);
        tracks_.Pan(ch, tick, kCentrePan);
        velocity = FmVelocity(voices_.Voice(fm_program), hit.level_db + gain_);
    } else {
        tracks_.Expression(ch, tick, ExpressionOf(first));
    }
    tracks_.Bend(ch, tick, ChipBend(chip, written, cents(0)));
    tracks_.NoteOn(ch, tick, written, velocity);
    for (std::uint64_t k = 1; p.start + k < p.end; ++k) {
        const std::uint64_t at = FirstTickOfFrame(p.start + k);
        tracks_.Bend(ch, at, ChipBend(chip, written, cents(k)));
        if (chip == Chip::Square) tracks_.Expression(ch, at, ExpressionOf(first + DrumDecaySteps(sound, k)));
    }
    tracks_.NoteOff(ch, FirstTickOfFrame(p.end));
}

void NoteWriter::NoiseHit(const DrumHit& hit, std::uint64_t stop) {
    const DrumSound& sound = DrumSoundOf(hit.key);
    const int first = DcsgAttenuation(hit.level_db) + sound.attenuation;
    tracks_.Program(kNoiseChannel, hit.start.tick, sound.noise);
    tracks_.Expression(kNoiseChannel, hit.start.tick, ExpressionOf(first));
    tracks_.NoteOn(kNoiseChannel, hit.start.tick, hit.key, hit.velocity);
    std::uint64_t frame = hit.start.frame + 1;
    for (; frame < stop; ++frame) {
        const int a = first + DrumDecaySteps(sound, frame - hit.start.frame);
        if (a >= kSilentAttenuation) break;
        tracks_.Expression(kNoiseChannel, FirstTickOfFrame(frame), ExpressionOf(a));
    }
    tracks_.NoteOff(kNoiseChannel, FirstTickOfFrame(frame));
}

}  // namespace fmtool
