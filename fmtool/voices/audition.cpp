#include "fmtool/voices/audition.h"

#include <memory>

#include "sequencer/render_song.h"
#include "smf/read_song.h"
#include "smf/smf_writer.h"
#include "vgm/vgmout.h"

namespace fmtool {

namespace {

constexpr std::uint16_t kDivision = 48;           // ticks a quarter note
constexpr std::uint32_t kQuarterMicros = 500000;  // 120 BPM: a quarter note is half a second
constexpr std::uint8_t kNoteOn = 0x90, kNoteOff = 0x80, kControl = 0xB0, kProgram = 0xC0, kMeta = 0xFF, kTempo = 0x51;
// The converter ends a song at its last event, not at its End of Track; a
// volume controller, which it ignores, marks the end of the ring-out.
constexpr int kVolume = 7, kFullVolume = 127;
constexpr std::uint8_t kVelocity = 127;  // the voice's own level
constexpr int kOctave = 12;
constexpr int kScale[] = {60, 62, 64, 65, 67, 69, 71, 72};
constexpr int kChord[] = {60, 64, 67};
constexpr std::uint64_t kScaleStep = kDivision / 2;  // a quarter second
constexpr std::uint64_t kChordLength = kDivision * 3;
constexpr std::uint64_t kRingOut = kDivision * 2;

MIDI::SmfEvent Channel(std::uint64_t tick, std::uint8_t status, int channel, int data1, int data2 = 0) {
    MIDI::SmfEvent e;
    e.tick = tick;
    e.status = static_cast<std::uint8_t>(status | channel);
    e.data1 = static_cast<std::uint8_t>(data1);
    e.data2 = static_cast<std::uint8_t>(data2);
    return e;
}

}  // namespace

std::vector<std::uint8_t> AuditionSong(int program) {
    MIDI::SmfTrack track;
    MIDI::SmfEvent tempo;
    tempo.status = kMeta;
    tempo.data1 = kTempo;
    tempo.body = {static_cast<char>(kQuarterMicros >> 16), static_cast<char>((kQuarterMicros >> 8) & 0xFF),
                  static_cast<char>(kQuarterMicros & 0xFF)};
    track.events.push_back(tempo);
    for (int ch = 0; ch < 3; ++ch) track.events.push_back(Channel(0, kProgram, ch, program));
    std::uint64_t tick = 0;
    for (int note : kScale) {
        track.events.push_back(Channel(tick, kNoteOn, 0, note - kOctave, kVelocity));
        tick += kScaleStep;
        track.events.push_back(Channel(tick, kNoteOff, 0, note - kOctave));
    }
    for (int ch = 0; ch < 3; ++ch) track.events.push_back(Channel(tick, kNoteOn, ch, kChord[ch] - kOctave, kVelocity));
    tick += kChordLength;
    for (int ch = 0; ch < 3; ++ch) track.events.push_back(Channel(tick, kNoteOff, ch, kChord[ch] - kOctave));
    track.events.push_back(Channel(tick + kRingOut, kControl, 0, kVolume, kFullVolume));
    track.end_tick = tick + kRingOut;
    return MIDI::WriteSmf(0, kDivision, {track});
}

std::vector<std::uint8_t> AuditionVgm(FMInst& bank, int program) {
    const std::vector<std::uint8_t> smf = AuditionSong(program);
    std::unique_ptr<MIDI::DMIDI> song = MIDI::ReadSong(smf.data(), smf.size());
    if (!song) return {};
    VGMOUT vgm;
    MIDI::RenderSong(song.get(), &bank, &vgm);
    return vgm.Image();
}

}  // namespace fmtool
