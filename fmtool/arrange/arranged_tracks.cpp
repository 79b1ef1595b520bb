#include "fmtool/arrange/arranged_tracks.h"

#include <algorithm>

#include "fmtool/arrange/chip_pitch.h"
#include "fmtool/arrange/frame_timeline.h"
#include "smf/smf_format.h"

namespace fmtool {

namespace {

using MIDI::kCcAllNotesOff;
using MIDI::kCcDataEntry;
using MIDI::kCcDataEntryFine;
using MIDI::kCcExpression;
using MIDI::kCcLoopPoint;
using MIDI::kCcPan;
using MIDI::kCcRpnLsb;
using MIDI::kCcRpnMsb;
constexpr int kRpnNull = 127;
constexpr std::uint16_t kFormat = 1;

const char* const kTrackNames[kChipTracks] = {"FM 1",     "FM 2",     "FM 3",     "FM 4",     "FM 5",
                                              "FM 6",     "Square 1", "Square 2", "Square 3", "Noise"};

MIDI::SmfEvent Meta(std::uint64_t tick, std::uint8_t type, std::string body) {
    MIDI::SmfEvent e;
    e.tick = tick;
    e.status = MIDI::kMetaEvent;
    e.data1 = type;
    e.body = std::move(body);
    return e;
}

MIDI::SmfEvent ChannelEvent(std::uint64_t tick, std::uint8_t status, int data1, int data2) {
    MIDI::SmfEvent e;
    e.tick = tick;
    e.status = status;
    e.data1 = static_cast<std::uint8_t>(data1);
    e.data2 = static_cast<std::uint8_t>(data2);
    return e;
}

}  // namespace

ArrangedTracks::ArrangedTracks() : tracks_(1 + kChipTracks) {
    const std::string tempo{static_cast<char>(kArrangedTempo >> 16), static_cast<char>(kArrangedTempo >> 8 & 0xFF),
                            static_cast<char>(kArrangedTempo & 0xFF)};
    tracks_[0].events.push_back(Meta(0, MIDI::kMetaSetTempo, tempo));
    for (unsigned ch = 0; ch < kChipTracks; ++ch) {
        tracks_[1 + ch].events.push_back(Meta(0, MIDI::kMetaTrackName, kTrackNames[ch]));
    }
}

void ArrangedTracks::Text(std::uint64_t tick, std::uint8_t type, const std::string& text) {
    tracks_[0].events.push_back(Meta(tick, type, text));
}

void ArrangedTracks::LoopPoint(std::uint64_t frame) {
    tracks_[0].events.push_back(
        ChannelEvent(FirstTickOfFrame(frame), MIDI::kControlChange | kConductorChannel, kCcLoopPoint, 0));
}

void ArrangedTracks::Channel(unsigned ch, std::uint64_t tick, std::uint8_t kind, int data1, int data2) {
    std::vector<MIDI::SmfEvent>& events = tracks_[1 + ch].events;
    tick = std::max(tick, events.back().tick);
    events.push_back(ChannelEvent(tick, static_cast<std::uint8_t>(kind | ch), data1, data2));
}

void ArrangedTracks::Program(unsigned ch, std::uint64_t tick, int program) {
    if (state_[ch].program == program) return;
    state_[ch].program = program;
    Channel(ch, tick, MIDI::kProgramChange, program, 0);
}

void ArrangedTracks::Pan(unsigned ch, std::uint64_t tick, int pan) {
    if (state_[ch].pan == pan) return;
    state_[ch].pan = pan;
    Channel(ch, tick, MIDI::kControlChange, kCcPan, pan);
}

void ArrangedTracks::Bend(unsigned ch, std::uint64_t tick, int bend) {
    ChipState& s = state_[ch];
    if (s.bend == bend) return;
    s.bend = bend;
    if (!s.range_set) {
        s.range_set = true;
        Channel(ch, tick, MIDI::kControlChange, kCcRpnMsb, 0);
        Channel(ch, tick, MIDI::kControlChange, kCcRpnLsb, 0);
        Channel(ch, tick, MIDI::kControlChange, kCcDataEntry, kChipBendRange);
        Channel(ch, tick, MIDI::kControlChange, kCcDataEntryFine, 0);
        Channel(ch, tick, MIDI::kControlChange, kCcRpnMsb, kRpnNull);
        Channel(ch, tick, MIDI::kControlChange, kCcRpnLsb, kRpnNull);
    }
    const int value = bend + MIDI::kPitchBendCentre;
    std::vector<MIDI::SmfEvent>& events = tracks_[1 + ch].events;
    MIDI::SmfEvent& last = events.back();
    if ((last.status & MIDI::kKindMask) == MIDI::kPitchBend && FrameOfTick(last.tick) == FrameOfTick(tick)) {
        last.data1 = value & 0x7F;
        last.data2 = static_cast<std::uint8_t>(value >> 7);
        return;
    }
    Channel(ch, tick, MIDI::kPitchBend, value & 0x7F, value >> 7);
}

void ArrangedTracks::Expression(unsigned ch, std::uint64_t tick, int value) {
    if (state_[ch].expression == value) return;
    state_[ch].expression = value;
    Channel(ch, tick, MIDI::kControlChange, kCcExpression, value);
}

void ArrangedTracks::NoteOn(unsigned ch, std::uint64_t tick, int note, int velocity) {
    state_[ch].note = note;
    Channel(ch, tick, MIDI::kNoteOn, note, velocity);
}

void ArrangedTracks::NoteOff(unsigned ch, std::uint64_t tick) {
    if (state_[ch].note < 0) return;
    Channel(ch, tick, MIDI::kNoteOff, state_[ch].note, 0);
    state_[ch].note = -1;
}

std::vector<std::uint8_t> ArrangedTracks::Finish(std::uint64_t end_tick) {
    std::vector<MIDI::SmfEvent>& conductor = tracks_[0].events;
    std::stable_sort(conductor.begin(), conductor.end(),
                     [](const MIDI::SmfEvent& a, const MIDI::SmfEvent& b) { return a.tick < b.tick; });
    conductor.push_back(ChannelEvent(end_tick, MIDI::kControlChange | kConductorChannel, kCcAllNotesOff, 0));
    for (MIDI::SmfTrack& t : tracks_) t.end_tick = end_tick;
    return MIDI::WriteSmf(kFormat, kArrangedDivision, tracks_);
}

}  // namespace fmtool
