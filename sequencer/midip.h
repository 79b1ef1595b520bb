// MIDIP plays a converted song frame by frame: it routes every event to the
// chip driver that owns its MIDI channel and closes each 1/60 s frame with a
// wait in the VGM stream.
#pragma once

#include <cstdint>
#include <list>
#include <vector>

#include "smf/dmidi.h"
#include "sequencer/sequencer_rules.h"
#include "vgm/vgm_format.h"

class OPN2DRV;
class DCSGDRV;
class VGMOUT;

namespace MIDI {

// What the sequencer remembers of one MIDI channel.
struct CHANNEL_STATE {
    std::uint8_t ccVolume = 0;    // last controller 7 or 11 value (kept, not used)
    std::uint8_t ccPan = 0;       // last controller 10 value (kept, not used)
    std::uint8_t bendRange = kDefaultBendRange;  // pitch-bend range in semitones
    std::uint32_t rpnMsb = 0;     // registered parameter selected by controller 101
    std::uint32_t rpnLsb = 0;     // and by controller 100
    bool noteOn = false;          // a note was started and not yet released
    std::uint32_t lastNote = 0;
    std::uint32_t lastVolume = 0;
    std::list<std::uint32_t> noteList;  // always empty
};

class MIDIP {
public:
    using iterator = std::vector<DMIDI_EVENT>::iterator;
    static constexpr std::uint32_t kChannelRecords = 32;

    MIDIP();
    MIDIP(const MIDIP&) = delete;
    MIDIP& operator=(const MIDIP&) = delete;

    void SetFmdrv(OPN2DRV* fm) { pFmdrv = fm; }
    void SetDcsgdrv(DCSGDRV* dcsg) { pDcsgdrv = dcsg; }
    void SetVgmout(VGMOUT* vgm) { pVgmout = vgm; }
    void SetConvertedSmf(DMIDI* song);

    // Plays the whole song into the writer; stops early once the writer is
    // Full. All four setters must have been called.
    void Render();
    // Dispatches one event to the chip drivers; the iterator is not moved.
    // The drivers and the writer must have been set.
    void Analyse(iterator& event);
    void AnalyzeControlChange(unsigned channel, unsigned controller, unsigned value);

    // Timer interrupt entry points: they do nothing, Render plays the whole
    // song by itself.
    void InterruptTimerA() {}
    void InterruptTimerB() {}

    const CHANNEL_STATE& State(unsigned channel) const { return chState[channel]; }

private:
    void NoteOn(unsigned ch, unsigned note, unsigned velocity);
    void NoteOff(unsigned ch);
    void ProgramChange(unsigned ch, unsigned program);
    void PitchBend(unsigned ch, int bend);

    OPN2DRV* pFmdrv = nullptr;    // not owned
    DCSGDRV* pDcsgdrv = nullptr;  // not owned
    VGMOUT* pVgmout = nullptr;    // not owned
    DMIDI* pSmf = nullptr;        // not owned
    // The song's bounds and a frame counter, reset by SetConvertedSmf; the
    // rates below are fixed. Render keeps its own position and reads none of them.
    iterator curEvent{};
    iterator endEvent{};
    iterator lastEvent{};
    std::uint32_t frameCount = 0;
    [[maybe_unused]] std::uint32_t sampleRate = VGM::kSampleRate;
    [[maybe_unused]] std::uint32_t tempo = 120;
    CHANNEL_STATE chState[kChannelRecords];
};

}  // namespace MIDI
