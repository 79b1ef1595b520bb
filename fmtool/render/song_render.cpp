#include "fmtool/render/song_render.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "chips/dcsgdrv.h"
#include "chips/opn2drv.h"
#include "chips/sn76489_map.h"
#include "chips/ym2612_map.h"
#include "fmtool/arrange/arranger.h"
#include "fmtool/arrange/chip_level.h"
#include "fmtool/arrange/drum_map.h"
#include "fmtool/arrange/note_writer.h"
#include "fmtool/render/dac_track.h"
#include "fmtool/render/part_envelope.h"
#include "fmtool/render/part_levels.h"
#include "vgm/vgmout.h"

namespace fmtool {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSilent = SN76489::kSilent;
constexpr std::uint64_t kEarlyReleaseMin = 3;  // frames a note needs to let go one early
constexpr unsigned kNoiseGenerator = SN76489::kNoiseGenerator;

double HzOf(double pitch) { return 440.0 * std::pow(2.0, (pitch - 69) / 12); }

// The chip LFO's pitch modulation depth nearest the vibrato of a wheel position.
int LfoDepthOf(int wheel) {
    const double cents = kWheelVibratoCents * wheel / 127;
    int best = 0;
    for (int d = 1; d <= static_cast<int>(YM2612::kMaxPms); ++d) {
        if (std::abs(YM2612::kPmsCents[d] - cents) < std::abs(YM2612::kPmsCents[best] - cents)) best = d;
    }
    return best;
}

// A placed note while it sounds: the source's channel controls as they
// stand at the current frame.
struct Sounding {
    const Placement* p = nullptr;
    const SourceNote* note = nullptr;
    const std::vector<ChannelChange>* changes = nullptr;
    std::size_t next = 0;     // next change of its channel to apply
    std::uint64_t off = 0;    // frame its key goes off
    std::uint32_t at = 0;     // samples into its first frame it starts (and into `off` it ends)
    int program = 0;          // FM voice
    double bend = 0;          // cents
    double channel_db = 0;    // volume x expression
    int pan = 64;
    int wheel = 0;

    // Applies the changes up to frame `f` (those after the note's end aside).
    void Advance(std::uint64_t f) {
        for (; next < changes->size() && (*changes)[next].at.frame <= f && (*changes)[next].at.frame < p->end; ++next) {
            const ChannelChange& c = (*changes)[next];
            switch (c.kind) {
                case ChannelChange::Bend: bend = c.value; break;
                case ChannelChange::Level: channel_db = c.value; break;
                case ChannelChange::Pan: pan = c.pan; break;
                case ChannelChange::Modulation: wheel = static_cast<int>(c.value); break;
            }
        }
    }
    double Pitch() const { return p->note.sounding + bend / 100; }
};

// What was last written to a channel, so that only changes go out. Reset
// at the loop point, where a player returns with the song's final state.
struct Written {
    int program = -1, pan = -1, lfo = -2, steps = -1;
    std::uint32_t block = ~0u, fnum = ~0u, period = ~0u;
    int attenuation = -1;
};

class Renderer {
public:
    Renderer(const SongPlan& plan, FMInst& bank, VGMOUT& vgm) : plan_(plan), vgm_(vgm), gain_(PartsGain(plan.perf)) {
        fm_.InstSet(&bank);
        for (const Placement& p : plan.alloc.placements) {
            if (!plan.song.origins[plan.song.requests[p.request].source].drum) queue_[p.channel].push_back(&p);
        }
        if (plan.dac) {
            std::vector<DrumHit> hits;
            for (std::uint32_t i : plan.song.dac_hits) hits.push_back(plan.perf.hits[i]);
            dac_ = BuildDacTrack(hits, plan.perf.end.frame, gain_);
        }
    }

    void Run() {
        const Performance& perf = plan_.perf;
        // The samples first, as players expect a song's data blocks.
        if (!dac_.turns.empty()) vgm_.WritePcmBlock(dac_.bank);
        fm_.VgmSet(&vgm_);
        dcsg_.VgmSet(&vgm_);
        for (std::uint32_t g = 0; g < SN76489::kGenerators; ++g) dcsg_.SetAttenuation(g, kSilent);
        if (!dac_.turns.empty()) fm_.EnableDac(true);
        const std::uint64_t loop = perf.loop_points.empty() ? ~std::uint64_t{0} : perf.loop_points.back().frame;
        for (std::uint64_t f = 0; f < perf.end.frame; ++f) {
            if (f == loop) {
                vgm_.SetLoopHere();
                for (Written& w : written_) w = Written();
                noise_written_ = -1;
                // A player comes back here with the DAC wherever the song left it.
                if (DacSounding()) vgm_.WritePcmSeek(dac_.turns[dac_turn_].offset + dac_played_);
            }
            // What goes on sounds from the frame's start; what starts or ends, at its own sample.
            for (unsigned ch = 0; ch < kFmChannels; ++ch) FmGoesOn(ch, f);
            for (unsigned ch = kFmChannels; ch < kToneChannels; ++ch) SquareGoesOn(ch, f);
            NoiseGoesOn(f);
            Starts(f);
            std::uint32_t at = 0;
            for (const Start& start : starts_) {
                Time(start.at - at);
                at = start.at;
                if (start.what < kToneChannels) {
                    if (start.ends) {
                        Ends(start.what, f);
                        continue;
                    }
                    Take(start.what, f, start.at);
                    if (ChipOf(start.what) == Chip::Fm) {
                        FmStarts(start.what);
                    } else {
                        SquareStarts(start.what);
                    }
                } else if (start.what == kNoiseStart) {
                    NoiseStarts();
                } else {
                    DacStarts();
                }
            }
            Time(VGM::kSamplesPerFrame - at);
            if (vgm_.Full()) return;
        }
        for (unsigned ch = 0; ch < kFmChannels; ++ch) {
            if (keyed_[ch]) fm_.KeyOff(ch);
        }
        for (std::uint32_t g = 0; g < SN76489::kGenerators; ++g) dcsg_.SetAttenuation(g, kSilent);
        // A sample cut off by the end leaves the DAC centred, not held off its centre.
        if (!dac_.turns.empty()) fm_.SetReg(0, YM2612::kRegDacData, YM2612::kDacCentre);
        vgm_.WriteEndMarker();
    }

private:
    static constexpr unsigned kNoiseStart = kToneChannels, kDacStart = kToneChannels + 1;

    // Something that starts in the frame, `at` samples into it (a whole
    // number of DAC bytes): a tone channel's note (or its end), a noise hit,
    // a DAC turn.
    struct Start {
        std::uint32_t at;
        unsigned what;
        bool ends = false;
    };

    // The sample into frame `f` of a moment of the song in that frame.
    static std::uint32_t Into(std::uint64_t f, const Moment& m) {
        if (m.frame != f) return 0;
        const std::uint64_t sample = m.tick * VGM::kSampleRate / 1000;
        const std::uint64_t into = sample > f * VGM::kSamplesPerFrame ? sample - f * VGM::kSamplesPerFrame : 0;
        const std::uint64_t inside = std::min<std::uint64_t>(into, VGM::kSamplesPerFrame - 1);
        return static_cast<std::uint32_t>(inside / kDacWait * kDacWait);
    }

    // The frame's starts and ends, in time order, an end before a start at
    // one sample. A note ends as far into its last frame as it started into
    // its first, so that it keeps its length, but never after the next note
    // on its channel starts.
    void Starts(std::uint64_t f) {
        starts_.clear();
        for (unsigned ch = 0; ch < kToneChannels; ++ch) {
            const std::size_t i = next_[ch];
            const bool starts = i < queue_[ch].size() && queue_[ch][i]->start == f;
            const Placement* p = starts ? queue_[ch][i] : nullptr;
            const std::uint32_t at = starts && !p->waited ? Into(f, NoteOf(*p).start) : 0;
            if (keyed_[ch] && now_[ch].off == f)
                starts_.push_back({starts ? std::min(at, now_[ch].at) : now_[ch].at, ch, true});
            if (starts) starts_.push_back({at, ch});
        }
        if (noise_turn_ < plan_.turns.size()) {
            const DrumHit& hit = plan_.noise_hits[plan_.turns[noise_turn_].hit];
            if (hit.start.frame == f) starts_.push_back({Into(f, hit.start), kNoiseStart});
        }
        if (dac_next_ < dac_.turns.size() && dac_.turns[dac_next_].start.frame == f)
            starts_.push_back({Into(f, dac_.turns[dac_next_].start), kDacStart});
        std::stable_sort(starts_.begin(), starts_.end(), [](const Start& a, const Start& b) {
            return a.at < b.at || (a.at == b.at && a.ends && !b.ends);
        });
    }

    // `samples` of time: DAC bytes while a drum sounds, then a wait.
    void Time(std::uint32_t samples) {
        if (samples == 0) return;
        if (DacSounding()) {
            const std::uint32_t n = std::min(samples / kDacWait, dac_.turns[dac_turn_].length - dac_played_);
            for (std::uint32_t k = 0; k < n; ++k) vgm_.WriteDacAndWait(kDacWait);
            dac_played_ += n;
            samples -= n * kDacWait;
        }
        if (samples == VGM::kSamplesPerFrame) {
            vgm_.WriteWait_60();
        } else if (samples != 0) {
            vgm_.WriteWait(samples);
        }
    }

    bool DacSounding() const { return dac_turn_ < dac_.turns.size() && dac_played_ < dac_.turns[dac_turn_].length; }

    const SourceNote& NoteOf(const Placement& p) const {
        return plan_.perf.notes[plan_.song.origins[plan_.song.requests[p.request].source].index];
    }

    // Takes the channel's next note, which starts `at` samples into frame
    // `f`, with its controls as they stand then.
    void Take(unsigned ch, std::uint64_t f, std::uint32_t at) {
        std::size_t& i = next_[ch];
        const Placement* p = queue_[ch][i++];
        const SourceNote& note = NoteOf(*p);
        Sounding s;
        s.p = p;
        s.at = at;
        s.note = &note;
        s.changes = &plan_.perf.changes[note.channel];
        s.next = note.next_change;
        s.program = plan_.song.requests[p->request].fm_program;
        s.bend = note.bend_cents;
        s.channel_db = note.channel_db;
        s.pan = note.pan;
        s.wheel = note.modulation;
        s.Advance(f);
        // Let go a frame early before a note that follows at once, so that it is heard.
        const bool followed = i < queue_[ch].size() && queue_[ch][i]->start == p->end;
        s.off = followed && p->end - p->start >= kEarlyReleaseMin ? p->end - 1 : p->end;
        now_[ch] = s;
    }

    // A sounding FM note's frame: its controls move.
    void FmGoesOn(unsigned ch, std::uint64_t f) {
        if (!keyed_[ch]) return;
        now_[ch].Advance(f);
        FmSound(ch, false);
    }

    // A note's key lets go: FM's release begins, a square's fades.
    void Ends(unsigned ch, std::uint64_t f) {
        keyed_[ch] = false;
        if (ChipOf(ch) == Chip::Fm) {
            fm_.KeyOff(ch);
        } else {
            SquareSound(ch, f - now_[ch].p->start);
        }
    }

    void FmStarts(unsigned ch) {
        if (keyed_[ch]) fm_.KeyOff(ch);
        FmSound(ch, true);
        fm_.KeyOn(ch);
        keyed_[ch] = true;
    }

    // Writes what changed of the note's voice, pan, vibrato, pitch and level;
    // a level moves at most kFmGlideSteps a frame but at the note's start.
    void FmSound(unsigned ch, bool start) {
        const Sounding& s = now_[ch];
        Written& w = written_[ch];
        if (w.program != s.program) {
            fm_.SetProgram(ch, static_cast<std::uint32_t>(s.program));
            w.program = s.program;
            w.steps = -1;
            w.lfo = -1;  // the voice's own again
        }
        const int pan = NearestPan(s.pan);
        if (pan != w.pan) {
            fm_.SetPan(ch, static_cast<std::uint32_t>(pan));
            w.pan = pan;
        }
        const int lfo = s.wheel > 0 ? std::max(LfoDepthOf(s.wheel), plan_.voices.Voice(s.program).pms & 7) : -1;
        if (lfo != w.lfo) {
            fm_.SetVibrato(ch, lfo);
            w.lfo = lfo;
        }
        const Opn2Pitch pitch = Opn2PitchOfHz(HzOf(s.Pitch()));
        if (pitch.block != w.block || pitch.fnum != w.fnum) {
            fm_.SetPitch(ch, pitch);
            w.block = pitch.block;
            w.fnum = pitch.fnum;
        }
        const double db = TrimmedDb(*s.note) + s.channel_db + gain_;
        const int target = FmAttenuationOf(plan_.voices.Voice(s.program), db);
        const int steps =
            start || w.steps < 0 ? target : std::clamp(target, w.steps - kFmGlideSteps, w.steps + kFmGlideSteps);
        if (steps != w.steps) {
            fm_.SetCarrierAttenuation(ch, static_cast<std::uint32_t>(steps));
            w.steps = steps;
        }
    }

    // A square's frame: its note's controls and envelope move on, or its release falls.
    void SquareGoesOn(unsigned ch, std::uint64_t f) {
        if (!now_[ch].p || (!keyed_[ch] && written_[ch].attenuation == kSilent)) return;
        if (keyed_[ch]) now_[ch].Advance(f);
        SquareSound(ch, f - now_[ch].p->start);
    }

    void SquareStarts(unsigned ch) {
        // A new note silences the one before for an instant: each note is a sound of its own.
        Written& w = written_[ch];
        if (w.attenuation >= 0 && w.attenuation != kSilent) {
            dcsg_.SetAttenuation(ch - kFmChannels, kSilent);
            w.attenuation = kSilent;
        }
        keyed_[ch] = true;
        envelope_[ch] = &EnvelopeFor(now_[ch].note->program);
        SquareSound(ch, 0);
    }

    // The square's pitch (with the wheel's vibrato) and level (the note's,
    // shaped by its envelope) `age` frames after its start.
    void SquareSound(unsigned ch, std::uint64_t age) {
        const Sounding& s = now_[ch];
        Written& w = written_[ch];
        const std::uint32_t g = ch - kFmChannels;
        const long long released = keyed_[ch] ? -1 : static_cast<long long>(s.p->start + age - s.off);
        // The note's own level is never silence; only its envelope fades it
        // out, and not before its attack is over.
        const int level = DcsgAttenuationOf(TrimmedDb(*s.note) + s.channel_db + gain_ - kSquareMixDb);
        const bool attacking = keyed_[ch] && age <= static_cast<std::uint64_t>(envelope_[ch]->attack_frames);
        const int attenuation =
            std::min(attacking ? kSilent - 1 : kSilent, level + DcsgFadeOf(EnvelopeDb(*envelope_[ch], age, released)));
        double pitch = s.Pitch();
        if (s.wheel > 0) {
            pitch += kWheelVibratoCents * s.wheel / 127 / 100 *
                     std::sin(2 * kPi * static_cast<double>(age) / kSquareVibratoFrames);
        }
        const std::uint32_t period = DcsgPeriodOfHz(HzOf(pitch));
        if (period != w.period && attenuation != kSilent) {
            dcsg_.SetPeriod(g, period);
            w.period = period;
        }
        if (attenuation != w.attenuation) {
            dcsg_.SetAttenuation(g, static_cast<std::uint32_t>(attenuation));
            w.attenuation = attenuation;
        }
    }

    // The noise's frame: its hit falls, or falls silent.
    void NoiseGoesOn(std::uint64_t f) {
        if (noise_ >= plan_.turns.size()) return;
        const DrumHit& hit = plan_.noise_hits[plan_.turns[noise_].hit];
        int attenuation = kSilent;
        if (f < plan_.turns[noise_].stop)
            attenuation = std::min(kSilent, noise_first_ + DrumDecaySteps(DrumSoundOf(hit.key), f - hit.start.frame));
        WriteNoise(attenuation);
    }

    void NoiseStarts() {
        const DrumHit& hit = plan_.noise_hits[plan_.turns[noise_turn_].hit];
        noise_ = noise_turn_++;
        const DrumSound& sound = DrumSoundOf(hit.key);
        dcsg_.SetProgram(kNoiseGenerator, static_cast<std::uint32_t>(sound.noise));
        noise_first_ = DcsgAttenuationOf(TrimmedDb(hit) + gain_ - kSquareMixDb) + sound.attenuation;
        WriteNoise(std::min(kSilent, noise_first_));
    }

    void WriteNoise(int attenuation) {
        if (attenuation == noise_written_) return;
        dcsg_.SetAttenuation(kNoiseGenerator, static_cast<std::uint32_t>(attenuation));
        noise_written_ = attenuation;
    }

    void DacStarts() {
        dac_turn_ = dac_next_++;
        dac_played_ = 0;
        vgm_.WritePcmSeek(dac_.turns[dac_turn_].offset);
    }

    const SongPlan& plan_;
    VGMOUT& vgm_;
    const double gain_;  // brings the loudest a part can get to full level
    OPN2DRV fm_;
    DCSGDRV dcsg_;
    std::vector<const Placement*> queue_[kToneChannels];
    std::size_t next_[kToneChannels] = {};
    Sounding now_[kToneChannels];
    bool keyed_[kToneChannels] = {};
    const PartEnvelope* envelope_[kToneChannels] = {};
    Written written_[kToneChannels];
    std::size_t noise_turn_ = 0, noise_ = ~std::size_t{0};
    int noise_first_ = kSilent, noise_written_ = -1;
    DacTrack dac_;
    std::size_t dac_next_ = 0, dac_turn_ = ~std::size_t{0};
    std::uint32_t dac_played_ = 0;
    std::vector<Start> starts_;
};

}  // namespace

void RenderPlan(const SongPlan& plan, FMInst& bank, VGMOUT& vgm) { Renderer(plan, bank, vgm).Run(); }

}  // namespace fmtool
