#include "fmtool/check/playback_model.h"

#include <algorithm>
#include <limits>
#include <unordered_map>

#include "chips/dcsgdrv.h"
#include "chips/opn2drv.h"
#include "chips/sn76489_map.h"
#include "chips/ym2612_map.h"
#include "instruments/fminst.h"
#include "sequencer/sequencer_rules.h"
#include "smf/smf_format.h"
#include "vgm/chip_notes.h"

namespace fmtool {

namespace {

using namespace MIDI;  // the SMF vocabulary and the sequencer's rules

// MIDI channels 0-5 play FM channels 0-5, 6-8 the squares, 9 the noise.
constexpr unsigned kFirstPsgChannel = kFirstDcsgChannel;

constexpr std::uint32_t kMaxVolume = 127;
constexpr std::uint32_t kSilentLevel = YM2612::kMaxTotalLevel;  // FM total level of a silent operator
constexpr std::uint32_t kSilent = SN76489::kSilent;             // DCSG attenuation of a silent channel
constexpr std::uint32_t kNobody = std::numeric_limits<std::uint32_t>::max();

// A carrier's total level after the driver's velocity scaling, as the chip
// takes it (7 bits).
std::uint32_t ScaledTotalLevel(std::int32_t tl, std::uint32_t volume) {
    return YM2612::TlOf(static_cast<std::uint8_t>(Opn2ScaledLevel(tl, volume)));
}

struct FmState {
    bool loaded = false;
    std::uint8_t program = 0;  // the driver's program, 0 until one is loaded
    std::uint8_t algorithm = 0;
    std::uint32_t tl[4] = {0, 0, 0, 0};
    bool keyed = false;
};

struct PsgState {
    bool keyed = false;
    std::uint32_t volume = kMaxVolume;
    std::uint32_t note = 0;
    std::int32_t detune = 0;  // the raw pitch bend of a tone channel
};

// The hold of a note on its chip channel and the stretch of sound within it.
struct Hold {
    std::uint32_t owner = kNobody;  // index into the notes
    std::uint32_t start = 0;
    bool audible_start = false;  // some stretch began audible
    bool counted = false;        // some stretch lasted a frame
    bool period_zero = false;    // some stretch began at the square's silent period 0
    bool sounding = false;       // a stretch is open
    bool sound_audible = false;
    std::uint32_t sound_start = 0;
};

class Model {
public:
    Model(const FMInst& bank, PlaybackModel& out) : bank_(bank), out_(out) {}

    void Play(const MIDI::DMIDI& song);

private:
    void NoteOn(std::uint32_t index, const MIDI::DMIDI_EVENT& e);
    void NoteOff(unsigned ch, std::uint32_t frame);
    void ProgramChange(unsigned ch, unsigned program, std::uint32_t frame);
    void Expression(unsigned ch, unsigned value, std::uint32_t frame);
    void CloseWritten(unsigned ch, unsigned key, std::uint32_t frame);

    void FmKeyOn(unsigned ch, std::uint32_t frame);
    void FmKeyOff(unsigned ch, std::uint32_t frame);
    void PsgKeyOn(unsigned ch, std::uint32_t frame);
    void PsgKeyOff(unsigned ch, std::uint32_t frame);
    void PsgLevel(unsigned ch, std::uint32_t frame);  // after a change of key or volume
    void StartSound(unsigned chip, bool audible, std::uint32_t frame);
    void EndSound(unsigned chip, std::uint32_t frame);
    void EndHold(unsigned chip, std::uint32_t frame);

    const FMInst& bank_;
    PlaybackModel& out_;
    bool note_on_[kMidiChannels] = {};
    std::uint32_t last_note_[kMidiChannels] = {};
    FmState fm_[kFmChannels];
    PsgState psg_[4];
    Hold hold_[kPlayedChannels];
    // Notes waiting for their note-off, per channel and key, oldest first
    // from `head` on (a queue that never shifts, so a flood of one key stays linear).
    struct Waiting {
        std::vector<std::uint32_t> notes;
        std::size_t head = 0;
    };
    std::unordered_map<unsigned, Waiting> waiting_;
};

void Model::Play(const MIDI::DMIDI& song) {
    const auto& events = song.events;
    out_.end_frame = events.empty() ? 0 : events.back().clock;
    for (std::uint32_t i = 0; i < events.size(); ++i) {
        const MIDI::DMIDI_EVENT& e = events[i];
        if (e.status == MIDI::kStatusSystem) continue;  // tempo events; the end closes below
        const unsigned ch = e.channel & 0x0F;
        switch (e.status & 0xF0) {
            case kNoteOn:
                if (e.data2 > 0) {
                    NoteOn(i, e);
                } else {
                    CloseWritten(ch, e.data1, e.clock);
                    if (note_on_[ch] && e.data1 == last_note_[ch]) NoteOff(ch, e.clock);
                }
                break;
            case kNoteOff:
                CloseWritten(ch, e.data1, e.clock);
                if (note_on_[ch]) NoteOff(ch, e.clock);
                break;
            case kProgramChange: ProgramChange(ch, e.data1, e.clock); break;
            case kControlChange:
                if (e.data1 == kCcExpression) Expression(ch, e.data2, e.clock);
                break;
            case kPitchBend:
                // The tone channels take the raw bend; it moves their period
                // (the FM pitch does not decide audibility).
                if (ch >= kFirstPsgChannel && ch < kMidiNoiseChannel) psg_[ch - kFirstPsgChannel].detune = e.bend();
                break;
            default: break;
        }
    }
    for (unsigned chip = 0; chip < kPlayedChannels; ++chip) {
        if (hold_[chip].sounding) EndSound(chip, out_.end_frame);
        EndHold(chip, out_.end_frame);
    }
    for (auto& [key, queue] : waiting_)
        for (std::size_t i = queue.head; i < queue.notes.size(); ++i) {
            ModelNote& n = out_.notes[queue.notes[i]];
            n.written_frames = out_.end_frame - n.on_frame;
        }
}

void Model::NoteOn(std::uint32_t index, const MIDI::DMIDI_EVENT& e) {
    const unsigned ch = e.channel & 0x0F;
    ModelNote n;
    n.event = index;
    n.channel = static_cast<std::uint8_t>(ch);
    n.key = e.data1;
    n.velocity = e.data2;
    n.on_frame = e.clock;
    n.fate = ch < kPlayedChannels ? NoteFate::kHeard : NoteFate::kChannelNotPlayed;
    const auto number = static_cast<std::uint32_t>(out_.notes.size());
    out_.notes.push_back(n);
    waiting_[ch << 8 | e.data1].notes.push_back(number);

    if (ch < kFmChannels) {
        FmState& f = fm_[ch];
        // SetVolume scales the carriers of the voice the channel plays (voice
        // 0 before any program change); a connection outside 0-7 scales
        // operator 3 only, whatever algorithm its low bits give the chip.
        const FmVoice& v = bank_.voice[f.program];
        const std::uint32_t volume = std::min<std::uint32_t>(FmVolumeOfVelocity(e.data2), kMaxVolume);
        for (unsigned op = Opn2FirstCarrier(v.con); op < YM2612::kOperators; ++op)
            f.tl[op] = ScaledTotalLevel(v.op[op].tl, volume);
        out_.notes[number].program = f.program;
        FmKeyOn(ch, e.clock);
        hold_[ch].owner = number;
    } else if (ch < kPlayedChannels) {
        const unsigned p = ch - kFirstPsgChannel;
        if (note_on_[ch]) PsgKeyOff(p, e.clock);
        psg_[p].note = e.data1;
        hold_[ch].owner = number;
        PsgKeyOn(p, e.clock);
    }
    note_on_[ch] = true;
    last_note_[ch] = e.data1;
}

void Model::NoteOff(unsigned ch, std::uint32_t frame) {
    note_on_[ch] = false;
    if (ch < kFmChannels) {
        FmKeyOff(ch, frame);
    } else if (ch < kPlayedChannels) {
        PsgKeyOff(ch - kFirstPsgChannel, frame);
    }
}

void Model::ProgramChange(unsigned ch, unsigned program, std::uint32_t frame) {
    if (ch >= kFmChannels) return;  // the noise mode does not decide audibility
    FmKeyOff(ch, frame);
    note_on_[ch] = false;
    if (program >= bank_.GetMaxInst()) return;  // the driver ignores it
    FmState& f = fm_[ch];
    const FmVoice& v = bank_.voice[program];
    f.loaded = true;
    f.program = static_cast<std::uint8_t>(program);
    f.algorithm = static_cast<std::uint8_t>(YM2612::AlgorithmOf(static_cast<std::uint8_t>(v.con)));
    for (unsigned op = 0; op < YM2612::kOperators; ++op)
        f.tl[op] = YM2612::TlOf(static_cast<std::uint8_t>(v.op[op].tl));
}

void Model::Expression(unsigned ch, unsigned value, std::uint32_t frame) {
    if (ch < kFirstPsgChannel || ch >= kPlayedChannels) return;
    PsgState& p = psg_[ch - kFirstPsgChannel];
    p.volume = std::min<std::uint32_t>(value, kMaxVolume);
    if (p.keyed) PsgLevel(ch - kFirstPsgChannel, frame);
}

void Model::CloseWritten(unsigned ch, unsigned key, std::uint32_t frame) {
    auto found = waiting_.find(ch << 8 | key);
    if (found == waiting_.end()) return;
    Waiting& w = found->second;
    if (w.head == w.notes.size()) return;
    ModelNote& n = out_.notes[w.notes[w.head++]];
    n.written_frames = frame - n.on_frame;
    if (w.head == w.notes.size()) {
        w.notes.clear();
        w.head = 0;
    }
}

void Model::FmKeyOn(unsigned ch, std::uint32_t frame) {
    FmState& f = fm_[ch];
    // A key-on while keyed ends the chip note before it (no new attack).
    if (f.keyed) EndHold(ch, frame);
    f.keyed = true;
    bool audible = false;
    for (unsigned op = YM2612::kFirstCarrier[f.algorithm]; op < YM2612::kOperators; ++op)
        audible = audible || f.tl[op] < kSilentLevel;
    hold_[ch].start = frame;
    StartSound(ch, f.loaded && audible, frame);
}

void Model::FmKeyOff(unsigned ch, std::uint32_t frame) {
    if (!fm_[ch].keyed) return;
    fm_[ch].keyed = false;
    EndHold(ch, frame);
}

void Model::PsgKeyOn(unsigned p, std::uint32_t frame) {
    psg_[p].keyed = true;
    hold_[kFirstPsgChannel + p].start = frame;
    PsgLevel(p, frame);
}

void Model::PsgKeyOff(unsigned p, std::uint32_t frame) {
    psg_[p].keyed = false;
    PsgLevel(p, frame);
    EndHold(kFirstPsgChannel + p, frame);
}

void Model::PsgLevel(unsigned p, std::uint32_t frame) {
    const unsigned chip = kFirstPsgChannel + p;
    const PsgState& s = psg_[p];
    const std::uint32_t attenuation = s.keyed ? DcsgAttenuation(s.volume) : kSilent;
    const bool loud = attenuation < kSilent;
    if (loud == hold_[chip].sounding) return;
    if (!loud) {
        EndSound(chip, frame);
        return;
    }
    const bool zero = chip != VGM::kChipNoise && DcsgTonePeriod(s.note, s.detune) == 0;
    if (zero) hold_[chip].period_zero = true;
    StartSound(chip, !zero, frame);
}

void Model::StartSound(unsigned chip, bool audible, std::uint32_t frame) {
    Hold& h = hold_[chip];
    h.sounding = true;
    h.sound_audible = audible;
    h.sound_start = frame;
    if (audible) h.audible_start = true;
}

void Model::EndSound(unsigned chip, std::uint32_t frame) {
    Hold& h = hold_[chip];
    h.sounding = false;
    if (h.sound_audible && frame > h.sound_start) {
        ++out_.chip_sounds[chip];
        h.counted = true;
    }
}

void Model::EndHold(unsigned chip, std::uint32_t frame) {
    Hold& h = hold_[chip];
    if (chip < kFmChannels && h.sounding) EndSound(chip, frame);
    if (h.owner != kNobody) {
        ModelNote& n = out_.notes[h.owner];
        n.played_frames = frame - h.start;
        if (h.counted) {
            n.fate = NoteFate::kHeard;
        } else if (h.audible_start) {
            n.fate = NoteFate::kNeverHeard;
        } else if (chip < kFmChannels) {
            n.fate = fm_[chip].loaded ? NoteFate::kSilentVoice : NoteFate::kNoProgram;
        } else if (h.period_zero) {
            n.fate = NoteFate::kPeriodZero;
        } else {
            n.fate = NoteFate::kSilentExpression;
        }
    }
    h = Hold();
}

}  // namespace

PlaybackModel ModelPlayback(const MIDI::DMIDI& song, const FMInst& bank) {
    PlaybackModel out;
    Model model(bank, out);
    model.Play(song);
    return out;
}

}  // namespace fmtool
