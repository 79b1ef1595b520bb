#include "fmtool/arrange/arranger.h"

#include <algorithm>

#include "fmtool/arrange/arranged_tracks.h"
#include "fmtool/arrange/chip_level.h"
#include "fmtool/arrange/drum_map.h"
#include "fmtool/arrange/performance.h"
#include "fmtool/arrange/song_tag.h"
#include "fmtool/arrange/voice_allocator.h"
#include "instruments/fminst.h"
#include "smf/midic.h"
#include "smf/smf_format.h"
#include "smf/smf_score.h"

namespace fmtool {

namespace {

constexpr int kFamilySize = 8;
constexpr int kPrograms = 128;
constexpr int kQuarterSteps = 4;  // drum decay is counted in quarter attenuation steps
constexpr int kSilentAttenuation = 15;
constexpr int kCentrePan = 64;

// General MIDI families whose notes die away by themselves: pianos, chromatic
// percussion, guitars, basses, plucked and struck strings, ethnic plucked
// instruments and percussive ones.
bool Decaying(int program) {
    const int family = program / kFamilySize;
    return family == 0 || family == 1 || family == 3 || family == 4 || (program >= 45 && program <= 47) ||
           (program >= 104 && program <= 108) || family == 14;
}

// Pipes (flutes, whistles, ocarina) and synth leads: steady tones that a
// square wave carries without needing an envelope or a timbre.
bool PrefersSquare(int program) { return program >= 72 && program <= 87; }

int NearestPan(int pan) { return pan < 32 ? 0 : pan > 95 ? 127 : kCentrePan; }

// The FM voice each program plays: its own, else the nearest audible voice of
// its family, else the nearest audible voice of the bank; -1 if none is.
class ProgramVoices {
public:
    explicit ProgramVoices(const FMInst& bank) : bank_(bank) {
        for (int p = 0; p < kPrograms; ++p) audible_[p] = VoiceAudible(bank.voice[p]);
    }

    int For(int program) {
        if (audible_[program]) return program;
        const int family = program / kFamilySize * kFamilySize;
        int best = Nearest(program, family, family + kFamilySize);
        if (best < 0) best = Nearest(program, 0, kPrograms);
        if (best >= 0 && !noted_[program]) {
            noted_[program] = true;
            substitutes_.emplace_back(program, best);
        }
        return best;
    }
    // The first of `programs` with an audible voice, -1 if none.
    int Drum(const int (&programs)[2]) const {
        for (int p : programs) {
            if (audible_[p]) return p;
        }
        return -1;
    }
    const FmVoice& Voice(int program) const { return bank_.voice[program]; }
    std::vector<std::pair<int, int>> substitutes_;

private:
    int Nearest(int program, int from, int to) const {
        int best = -1;
        for (int p = from; p < to; ++p) {
            if (audible_[p] && (best < 0 || std::abs(p - program) < std::abs(best - program))) best = p;
        }
        return best;
    }
    const FMInst& bank_;
    bool audible_[kPrograms] = {};
    bool noted_[kPrograms] = {};
};

class Arranger {
public:
    Arranger(const MIDI::Score& score, const FMInst& bank, const std::string& fallback)
        : score_(score), timeline_(score), voices_(bank), texts_(ReadSongTexts(score, fallback)) {}

    bool Run(Arrangement& out) {
        perf_ = ReadPerformance(score_, timeline_);
        end_ = perf_.end.frame;
        if (end_ > MIDI::MIDIC::kMaxEndFrame) return false;
        Normalise();
        BuildRequests();
        alloc_ = AllocateVoices(requests_);
        WriteConductor();
        WritePlacements();
        WriteNoise();
        Summarise();
        out.smf = tracks_.Finish(perf_.end.tick);
        out.summary = summary_;
        return true;
    }

private:
    struct Origin {
        bool drum;
        std::uint32_t index;  // into perf_.notes or perf_.hits
    };

    // The loudest note of the song plays at the chips' full level.
    void Normalise() {
        double peak = kSilentDb;
        for (const SourceNote& n : perf_.notes) peak = std::max(peak, n.LevelDb());
        for (const DrumHit& h : perf_.hits) peak = std::max(peak, h.level_db);
        gain_ = peak > kSilentDb ? -peak : 0;
    }

    std::uint64_t EndFrame(const Moment& start, const Moment& end) const {
        return std::min(end_, std::max(end.frame, start.frame + 1));
    }

    void BuildRequests() {
        std::size_t n = 0, h = 0;
        while (n < perf_.notes.size() || h < perf_.hits.size()) {
            const bool takeNote =
                h == perf_.hits.size() ||
                (n < perf_.notes.size() && perf_.notes[n].start.frame <= perf_.hits[h].start.frame);
            if (takeNote) {
                AddNote(static_cast<std::uint32_t>(n++));
            } else {
                AddHit(static_cast<std::uint32_t>(h++));
            }
        }
    }

    void AddNote(std::uint32_t i) {
        const SourceNote& note = perf_.notes[i];
        if (note.start.frame >= end_) {
            ++summary_.dropped[static_cast<int>(LossReason::SongEnd)][note.channel];
            return;
        }
        VoiceRequest r;
        r.source = static_cast<std::uint32_t>(origins_.size());
        r.part = note.channel;
        r.decaying = Decaying(note.program);
        r.prefers_square = PrefersSquare(note.program);
        r.fm_program = voices_.For(note.program);
        r.pitch = note.key;
        r.level_db = note.LevelDb();
        r.start = note.start.frame;
        r.end = EndFrame(note.start, note.end);
        origins_.push_back(Origin{false, i});
        requests_.push_back(r);
    }

    // A drum with a pitch asks for a free tone channel; the rest, and those
    // that find none, go to the noise channel.
    void AddHit(std::uint32_t i) {
        const DrumHit& hit = perf_.hits[i];
        const DrumSound& sound = DrumSoundOf(hit.key);
        if (sound.tone == ToneDrum::None || hit.start.frame + 1 >= end_) {
            noise_hits_.push_back(i);
            return;
        }
        VoiceRequest r;
        r.source = static_cast<std::uint32_t>(origins_.size());
        r.part = static_cast<std::uint8_t>(kDrumChannel);
        r.drum = true;
        r.fm_program = sound.tone == ToneDrum::Skin ? voices_.Drum(FmDrumProgramsFor(hit.key).programs) : -1;
        r.prefers_square = r.fm_program < 0;
        r.pitch = ToneDrumPitch(hit.key);
        r.level_db = hit.level_db;
        r.start = hit.start.frame;
        r.end = std::min<std::uint64_t>(end_, r.start + sound.tone_frames);
        origins_.push_back(Origin{true, i});
        requests_.push_back(r);
    }

    void WriteConductor() {
        // The title first, in the file's own bytes where it has one.
        const bool named = texts_.title_text >= 0;
        tracks_.Text(0, MIDI::kMetaTrackName, named ? score_.texts[texts_.title_text] : texts_.title);
        for (const MIDI::ScoreEvent& e : score_.events) {
            if (!e.IsMeta() || e.data1 < MIDI::kMetaText || e.data1 > MIDI::kMetaLastText ||
                e.payload >= score_.texts.size()) {
                continue;
            }
            if (named && e.payload == static_cast<std::uint32_t>(texts_.title_text)) continue;
            tracks_.Text(timeline_.At(e.tick).tick, e.data1, score_.texts[e.payload]);
        }
        std::uint64_t last = ~std::uint64_t{0};
        for (const Moment& m : perf_.loop_points) {
            if (m.frame == last) continue;
            last = m.frame;
            tracks_.LoopPoint(m.frame);
        }
    }

    void WritePlacements() {
        std::vector<std::uint32_t> byChannel[kToneChannels];
        for (std::uint32_t i = 0; i < alloc_.placements.size(); ++i) {
            byChannel[alloc_.placements[i].channel].push_back(i);
        }
        for (unsigned ch = 0; ch < kToneChannels; ++ch) {
            for (std::uint32_t i : byChannel[ch]) {
                const Placement& p = alloc_.placements[i];
                const Origin& o = origins_[requests_[p.request].source];
                if (o.drum) {
                    WriteToneDrum(p, perf_.hits[o.index]);
                } else {
                    WriteNote(p, perf_.notes[o.index]);
                }
            }
        }
    }

    void WriteNote(const Placement& p, const SourceNote& note) {
        const unsigned ch = p.channel;
        const Chip chip = ChipOf(ch);
        const int written = p.note.written;
        const VoiceRequest& r = requests_[p.request];
        const std::uint64_t start = p.waited ? FirstTickOfFrame(p.start) : note.start.tick;
        int velocity = note.velocity;
        if (chip == Chip::Fm) {
            tracks_.Program(ch, start, r.fm_program);
            tracks_.Pan(ch, start, NearestPan(note.pan));
            velocity = FmVelocity(voices_.Voice(r.fm_program), note.LevelDb() + gain_);
        } else {
            tracks_.Expression(ch, start, SquareExpression(note.LevelDb()));
        }
        tracks_.Bend(ch, start, ChipBend(chip, written, note.bend_cents));
        tracks_.NoteOn(ch, start, written, velocity);

        // The channel's bends, loudness and pan follow the note while it sounds.
        const std::vector<ChannelChange>& changes = perf_.changes[note.channel];
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
    void WriteToneDrum(const Placement& p, const DrumHit& hit) {
        const unsigned ch = p.channel;
        const Chip chip = ChipOf(ch);
        const DrumSound& sound = DrumSoundOf(hit.key);
        const int program = requests_[p.request].fm_program;
        const int written = p.note.written;
        const double span = std::max(1, sound.tone_frames - 1);
        auto cents = [&](std::uint64_t k) {
            return sound.tone == ToneDrum::Skin ? kSkinSweepCents / 2 - kSkinSweepCents * (k / span) : 0.0;
        };
        const int first = DcsgAttenuation(hit.level_db) + sound.attenuation;
        const std::uint64_t tick = hit.start.tick;
        int velocity = hit.velocity;
        if (chip == Chip::Fm) {
            tracks_.Program(ch, tick, program);
            tracks_.Pan(ch, tick, kCentrePan);
            velocity = FmVelocity(voices_.Voice(program), hit.level_db + gain_);
        } else {
            tracks_.Expression(ch, tick, ExpressionOf(first));
        }
        tracks_.Bend(ch, tick, ChipBend(chip, written, cents(0)));
        tracks_.NoteOn(ch, tick, written, velocity);
        for (std::uint64_t k = 1; p.start + k < p.end; ++k) {
            const std::uint64_t at = FirstTickOfFrame(p.start + k);
            tracks_.Bend(ch, at, ChipBend(chip, written, cents(k)));
            if (chip == Chip::Square) tracks_.Expression(ch, at, ExpressionOf(first + Decay(sound, k)));
        }
        tracks_.NoteOff(ch, FirstTickOfFrame(p.end));
    }

    // Attenuation steps (2 dB) of a level on the squares and the noise.
    int DcsgAttenuation(double db) const { return (127 - DcsgExpression(db + gain_ - kSquareMixDb)) / 8; }
    static int ExpressionOf(int attenuation) { return 127 - 8 * std::min(attenuation, kSilentAttenuation - 1); }
    static int Decay(const DrumSound& sound, std::uint64_t frames) {
        return static_cast<int>(frames * sound.decay / kQuarterSteps);
    }

    int SquareExpression(double db) const { return DcsgExpression(db + gain_ - kSquareMixDb); }

    // The noise channel plays one hit at a time: of hits in one frame the one
    // of highest priority (then the louder); each sounds until its length
    // runs out or the next hit comes, its level falling frame by frame.
    void WriteNoise() {
        for (std::uint32_t r : alloc_.unplaced_drums) noise_hits_.push_back(origins_[requests_[r].source].index);
        std::sort(noise_hits_.begin(), noise_hits_.end());
        std::vector<std::uint32_t> winners;
        for (std::uint32_t i : noise_hits_) {
            const DrumHit& hit = perf_.hits[i];
            if (hit.start.frame >= end_) continue;
            if (!winners.empty() && perf_.hits[winners.back()].start.frame == hit.start.frame) {
                const DrumHit& held = perf_.hits[winners.back()];
                const int a = DrumSoundOf(hit.key).priority, b = DrumSoundOf(held.key).priority;
                if (a > b || (a == b && hit.level_db > held.level_db)) winners.back() = i;
                continue;
            }
            winners.push_back(i);
        }
        for (std::size_t w = 0; w < winners.size(); ++w) {
            const DrumHit& hit = perf_.hits[winners[w]];
            const DrumSound& sound = DrumSoundOf(hit.key);
            std::uint64_t stop = std::min(end_, hit.start.frame + sound.frames);
            if (w + 1 < winners.size()) stop = std::min(stop, perf_.hits[winners[w + 1]].start.frame);
            WriteNoiseHit(hit, sound, stop);
        }
        summary_.hits_noise = static_cast<unsigned>(winners.size());
        std::size_t w = 0;
        for (std::uint32_t i : noise_hits_) {
            if (w < winners.size() && winners[w] == i) {
                ++w;
            } else if (DrumSoundOf(perf_.hits[i].key).tone != ToneDrum::None) {
                ++summary_.hits_toneless;
            }
        }
    }

    void WriteNoiseHit(const DrumHit& hit, const DrumSound& sound, std::uint64_t stop) {
        const int first = DcsgAttenuation(hit.level_db) + sound.attenuation;
        tracks_.Program(kNoiseChannel, hit.start.tick, sound.noise);
        tracks_.Expression(kNoiseChannel, hit.start.tick, ExpressionOf(first));
        tracks_.NoteOn(kNoiseChannel, hit.start.tick, hit.key, hit.velocity);
        std::uint64_t frame = hit.start.frame + 1;
        for (; frame < stop; ++frame) {
            const int a = first + Decay(sound, frame - hit.start.frame);
            if (a >= kSilentAttenuation) break;
            tracks_.Expression(kNoiseChannel, FirstTickOfFrame(frame), ExpressionOf(a));
        }
        tracks_.NoteOff(kNoiseChannel, FirstTickOfFrame(frame));
    }

    void Summarise() {
        ArrangeSummary& s = summary_;
        s.notes = static_cast<unsigned>(perf_.notes.size());
        s.hits = static_cast<unsigned>(perf_.hits.size());
        s.silent = perf_.silent_notes;
        for (const Placement& p : alloc_.placements) {
            if (origins_[requests_[p.request].source].drum) {
                ++s.hits_tone;
                continue;
            }
            ++s.kept;
            s.moved += p.note.octaves != 0;
            s.cut += p.cut;
            s.waited += p.waited;
        }
        for (const Dropped& d : alloc_.dropped) {
            const LossReason reason = d.reason == DropReason::Doubled ? LossReason::Doubled : LossReason::NoVoice;
            ++s.dropped[static_cast<int>(reason)][requests_[d.request].part];
        }
        s.substitutes = voices_.substitutes_;
    }

    const MIDI::Score& score_;
    FrameTimeline timeline_;
    ProgramVoices voices_;
    SongTexts texts_;
    Performance perf_;
    std::uint64_t end_ = 0;
    double gain_ = 0;
    std::vector<VoiceRequest> requests_;
    std::vector<Origin> origins_;  // by VoiceRequest::source
    std::vector<std::uint32_t> noise_hits_;
    Allocation alloc_;
    ArrangedTracks tracks_;
    ArrangeSummary summary_;
};

}  // namespace

bool Arrange(const MIDI::Score& score, const FMInst& bank, const std::string& fallback_title, Arrangement& out) {
    return Arranger(score, bank, fallback_title).Run(out);
}

}  // namespace fmtool
