#include "sequencer/midip.h"

#include <cassert>

#include "chips/dcsgdrv.h"
#include "chips/opn2drv.h"
#include "smf/smf_format.h"
#include "vgm/vgmout.h"

namespace MIDI {

namespace {

bool IsFm(unsigned ch) { return IsFmChannel(ch); }
bool IsDcsg(unsigned ch) { return IsDcsgChannel(ch); }

}  // namespace

MIDIP::MIDIP() = default;

void MIDIP::SetConvertedSmf(DMIDI* song) {
    pSmf = song;
    curEvent = song->events.begin();
    endEvent = song->events.end();
    lastEvent = song->events.end();
    frameCount = 0;
}

void MIDIP::Render() {
    assert(pFmdrv && pDcsgdrv && pVgmout && pSmf && "Render needs its four setters first");
    if (pSmf->events.empty()) return;
    std::uint32_t frame = 0;
    for (iterator it = pSmf->events.begin(); it != pSmf->events.end(); ++it) {
        // Close frames until the event's own frame: the events of a frame go
        // out before the wait that ends it. Frames never decrease along a
        // converted song; should a hand-made list go back in time, its event
        // is played in the current frame rather than waiting for the counter
        // to wrap around.
        while (frame < it->clock) {
            pVgmout->WriteWait_60();
            pFmdrv->RunFrame();
            ++frame;
        }
        Analyse(it);
        // A stream that outgrew a VGM file stops growing; nothing later can be saved.
        if (pVgmout->Full()) return;
    }
}

void MIDIP::Analyse(iterator& event) {
    assert(pFmdrv && pDcsgdrv && pVgmout && "Analyse needs the drivers and the writer set");
    const DMIDI_EVENT& e = *event;
    if (e.status == kStatusSystem) {
        // Tempo events were applied by the frame conversion; only the end counts.
        if (e.is_end()) pVgmout->WriteEndMarker();
        return;
    }
    const unsigned ch = e.channel;
    if (ch >= kChannelRecords) return;
    switch (e.status & kKindMask) {
        case kControlChange: AnalyzeControlChange(ch, e.data1, e.data2); break;
        case kNoteOn:
            if (e.data2 > 0) {
                NoteOn(ch, e.data1, e.data2);
            } else if (chState[ch].noteOn && e.data1 == chState[ch].lastNote) {
                // A note on of velocity 0 releases only the key that sounds.
                NoteOff(ch);
            }
            break;
        case kNoteOff:
            // Any key releases the channel's sounding note.
            if (chState[ch].noteOn) NoteOff(ch);
            break;
        case kProgramChange: ProgramChange(ch, e.data1); break;
        case kPitchBend: PitchBend(ch, e.bend()); break;
        default: break;  // key and channel pressure are not played
    }
}

void MIDIP::NoteOn(unsigned ch, unsigned note, unsigned velocity) {
    CHANNEL_STATE& s = chState[ch];
    const unsigned volume = FmVolumeOfVelocity(velocity);
    if (IsFm(ch)) {
        // The FM channel is retuned and keyed again without a key-off.
        pFmdrv->SetNote(ch, note);
        pFmdrv->SetVolume(ch, volume);
        pFmdrv->KeyOn(ch);
    } else if (IsDcsg(ch)) {
        if (s.noteOn) pDcsgdrv->KeyOff(ch - kFirstDcsgChannel);
        pDcsgdrv->SetNote(ch - kFirstDcsgChannel, note);
        pDcsgdrv->KeyOn(ch - kFirstDcsgChannel);
    }
    s.noteOn = true;
    s.lastNote = note;
    s.lastVolume = volume;
}

void MIDIP::NoteOff(unsigned ch) {
    chState[ch].noteOn = false;
    if (IsFm(ch)) {
        pFmdrv->KeyOff(ch);
    } else if (IsDcsg(ch)) {
        pDcsgdrv->KeyOff(ch - kFirstDcsgChannel);
    }
}

void MIDIP::ProgramChange(unsigned ch, unsigned program) {
    if (IsFm(ch)) {
        pFmdrv->KeyOff(ch);
        pFmdrv->SetProgram(ch, program);
        chState[ch].noteOn = false;
    } else if (IsDcsg(ch)) {
        pDcsgdrv->SetProgram(ch - kFirstDcsgChannel, program);
    }
}

void MIDIP::PitchBend(unsigned ch, int bend) {
    if (IsFm(ch)) {
        pFmdrv->SetDetune(ch, FmDetuneOfBend(bend, chState[ch].bendRange));
    } else if (IsDcsg(ch) && ch != kMidiNoiseChannel) {
        // The tone channels take the raw bend; their driver scales it.
        pDcsgdrv->SetDetune(ch - kFirstDcsgChannel, bend);
    }
}

void MIDIP::AnalyzeControlChange(unsigned channel, unsigned controller, unsigned value) {
    if (channel >= kChannelRecords) return;
    CHANNEL_STATE& s = chState[channel];
    switch (controller) {
        case kCcPortamentoTime:
            if (IsFm(channel)) pFmdrv->SetPortamentTime(channel, value);
            break;
        case kCcDataEntry:
            // Only registered parameter 0/0, the pitch-bend sensitivity.
            if (s.rpnMsb == 0 && s.rpnLsb == 0) s.bendRange = static_cast<std::uint8_t>(BendRangeOfDataEntry(value));
            break;
        case kCcVolume: s.ccVolume = static_cast<std::uint8_t>(value); break;
        case kCcPan:
            s.ccPan = static_cast<std::uint8_t>(value);
            if (IsFm(channel)) pFmdrv->SetPan(channel, value);
            break;
        case kCcExpression:
            s.ccVolume = static_cast<std::uint8_t>(value);
            if (IsDcsg(channel)) pDcsgdrv->SetVolume(channel - kFirstDcsgChannel, value);
            break;
        case kCcLoopPoint: pVgmout->SetLoopHere(); break;
        case kCcRpnLsb: s.rpnLsb = value; break;
        case kCcRpnMsb: s.rpnMsb = value; break;
        default: break;
    }
}

}  // namespace MIDI
