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
    Renderer(const SongPlan& plan, FMInst& bank, VGMOUT& vgm) : plan_(plan), vgm_(vgm) {
        fm_.InstSet(&bank);
        for (const Placement& p : plan.alloc.placements) {
            if (!plan.song.origins[plan.song.requests[p.request].source].drum) queue_[p.channel].push_back(&p);
        }
        if (plan.dac) {
            std::vector<DrumHit> hits;
            for (std::uint32_t i : plan.song.dac_hits) hits.push_back(plan.perf.hits[i]);
            dac_ = BuildDacTrack(hits, plan.perf.end.frame, plan.gain);
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
            const bool loopHere = f == loop;
            if (loopHere) {
                vgm_.SetLoopHere();
                for (Written& w : written_) w = Written();
                noise_written_ = -1;
            }
            for (unsigned ch = 0; ch < kFmChannels; ++ch) FmFrame(ch, f);
            for (unsigned ch = kFmChannels; ch < kToneChannels; ++ch) SquareFrame(ch, f);
            NoiseFrame(f);
            DacFrame(f, loopHere);
            if (vgm_.Full()) return;
        }
        for (unsigned ch = 0; ch < kFmChannels; ++ch) {
            if (keyed_[ch]) fm_.KeyOff(ch);
        }
        for (std::uint32_t g = 0; g < SN76489::kGenerators; ++g) dcsg_.SetAttenuation(g, kSilent);
        vgm_.WriteEndMarker();
    }

private:
    // The channel's next note, if it starts at `f`, with its controls as they stand then.
    bool Starts(unsigned ch, std::uint64_t f) {
        std::size_t& i = next_[ch];
        if (i >= queue_[ch].size() || queue_[ch][i]->start != f) return false;
        const Placement* p = queue_[ch][i++];
        const VoiceRequest& r = plan_.song.requests[p->request];
        const SourceNote& note = plan_.perf.notes[plan_.song.origins[r.source].index];
        Sounding s;
        s.p = p;
        s.note = &note;
        s.changes = &plan_.perf.changes[note.channel];
        s.next = note.next_change;
        s.program = r.fm_program;
        s.bend = note.bend_cents;
        s.channel_db = note.channel_db;
        s.pan = note.pan;
        s.wheel = note.modulation;
        s.Advance(f);
        // Let go a frame early before a note that follows at once, so that it is heard.
        const bool followed = i < queue_[ch].size() && queue_[ch][i]->start == p->end;
        s.off = followed && p->end - p->start >= kEarlyReleaseMin ? p->end - 1 : p->end;
        now_[ch] = s;
        return true;
    }

    void FmFrame(unsigned ch, std::uint64_t f) {
        Sounding& s = now_[ch];
        Written& w = written_[ch];
        if (keyed_[ch] && f >= s.off) {
            fm_.KeyOff(ch);
            keyed_[ch] = false;
        }
        const bool start = Starts(ch, f);
        if (!start && !keyed_[ch]) return;
        if (!start) s.Advance(f);
        if (start) {
            if (keyed_[ch]) fm_.KeyOff(ch);
            if (w.program != s.program) {
                fm_.SetProgram(ch, static_cast<std::uint32_t>(s.program));
                w.program = s.program;
                w.steps = -1;
                w.lfo = -1;  // the voice's own again
            }
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
        const int target = FmAttenuationOf(s.note->velocity_db + s.channel_db + plan_.gain);
        const int steps = start || w.steps < 0 ? target : std::clamp(target, w.steps - kFmGlideSteps, w.steps + kFmGlideSteps);
        if (steps != w.steps) {
            fm_.SetCarrierAttenuation(ch, static_cast<std::uint32_t>(steps));
            w.steps = steps;
        }
        if (start) {
            fm_.KeyOn(ch);
            keyed_[ch] = true;
        }
    }

    void SquareFrame(unsigned ch, std::uint64_t f) {
        Sounding& s = now_[ch];
        Written& w = written_[ch];
        const std::uint32_t g = ch - kFmChannels;
        if (keyed_[ch] && f >= s.off) keyed_[ch] = false;
        const bool start = Starts(ch, f);
        if (start) {
            keyed_[ch] = true;
            envelope_[ch] = &EnvelopeFor(s.note->program);
        } else if (!s.p || (!keyed_[ch] && w.attenuation == kSilent)) {
            return;
        } else if (keyed_[ch]) {
            s.Advance(f);
        }
        const std::uint64_t age = f - s.p->start;
        const long long released = keyed_[ch] ? -1 : static_cast<long long>(f - s.off);
        // The note's own level is never silence; only its envelope fades it out,
        const int level = DcsgAttenuationOf(s.note->velocity_db + s.channel_db + plan_.gain - kSquareMixDb);
        // ... and not before its attack is over.
        const bool attacking = keyed_[ch] && age <= static_cast<std::uint64_t>(envelope_[ch]->attack_frames);
        const int attenuation =
            std::min(attacking ? kSilent - 1 : kSilent, level + DcsgFadeOf(EnvelopeDb(*envelope_[ch], age, released)));
        // A new note silences the one before for an instant: each note is a sound of its own.
        if (start && w.attenuation >= 0 && w.attenuation != kSilent) {
            dcsg_.SetAttenuation(g, kSilent);
            w.attenuation = kSilent;
        }
        double pitch = s.Pitch();
        if (s.wheel > 0) {
            pitch += kWheelVibratoCents * s.wheel / 127 / 100 * std::sin(2 * kPi * static_cast<double>(age) / kSquareVibratoFrames);
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

    void NoiseFrame(std::uint64_t f) {
        const std::vector<NoiseTurn>& turns = plan_.turns;
        if (noise_turn_ < turns.size() && plan_.noise_hits[turns[noise_turn_].hit].start.frame == f) {
            const DrumHit& hit = plan_.noise_hits[turns[noise_turn_].hit];
            noise_ = noise_turn_++;
            dcsg_.SetProgram(kNoiseGenerator, static_cast<std::uint32_t>(DrumSoundOf(hit.key).noise));
            noise_first_ = DcsgAttenuationOf(hit.level_db + plan_.gain - kSquareMixDb) + DrumSoundOf(hit.key).attenuation;
        }
        int attenuation = kSilent;
        if (noise_ < turns.size() && f < turns[noise_].stop) {
            const DrumHit& hit = plan_.noise_hits[turns[noise_].hit];
            attenuation = std::min(kSilent, noise_first_ + DrumDecaySteps(DrumSoundOf(hit.key), f - hit.start.frame));
        }
        if (attenuation != noise_written_) {
            dcsg_.SetAttenuation(kNoiseGenerator, static_cast<std::uint32_t>(attenuation));
            noise_written_ = attenuation;
        }
    }

    // The frame's time: DAC bytes while a drum sounds, else one wait.
    void DacFrame(std::uint64_t f, bool loopHere) {
        const std::vector<DacTurn>& turns = dac_.turns;
        if (dac_next_ < turns.size() && turns[dac_next_].start == f) {
            dac_turn_ = dac_next_++;
            dac_played_ = 0;
            vgm_.WritePcmSeek(turns[dac_turn_].offset);
        } else if (loopHere && dac_turn_ < turns.size() && f < turns[dac_turn_].stop) {
            vgm_.WritePcmSeek(turns[dac_turn_].offset + dac_played_);
        }
        if (dac_turn_ >= turns.size() || f >= turns[dac_turn_].stop || dac_played_ >= turns[dac_turn_].length) {
            vgm_.WriteWait_60();
            return;
        }
        const std::uint32_t n = std::min(kDacBytesPerFrame, turns[dac_turn_].length - dac_played_);
        for (std::uint32_t k = 0; k < n; ++k) vgm_.WriteDacAndWait(kDacWait);
        dac_played_ += n;
        if (n < kDacBytesPerFrame) vgm_.WriteWait((kDacBytesPerFrame - n) * kDacWait);
    }

    const SongPlan& plan_;
    VGMOUT& vgm_;
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
};

}  // namespace

void RenderPlan(const SongPlan& plan, FMInst& bank, VGMOUT& vgm) { Renderer(plan, bank, vgm).Run(); }

}  // namespace fmtool
