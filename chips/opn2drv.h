// OPN2DRV drives the YM2612 FM chip: six FM channels, each turned into
// register writes handed at once to the bound VGM writer.
#pragma once

#include <cstdint>

#include "instruments/fminst.h"

class VGMOUT;

// Channel code of FM channel c for the key-on register 0x28: 0,1,2,4,5,6.
std::uint32_t get_fm_channel(std::uint32_t c);
// Register port of FM channel c: 0 for channels 0-2, 1 for 3-5.
std::uint32_t get_fm_bank(std::uint32_t c);
// Register offset of operator i numbered M1, C1, M2, C2; 0 beyond 3.
std::uint32_t get_fm_slot(std::uint32_t i);

// The first carrier (register order M1, M2, C1, C2) of a voice of connection
// `con`, as the driver's volume scales them: the carriers run from it to
// operator 3. A connection outside 0..7 has operator 3 alone.
std::uint32_t Opn2FirstCarrier(std::int32_t con);
// A total level moved linearly from the voice's own `tl` (scale 127) toward
// silence (scale 0), before the register takes its low bits.
std::uint32_t Opn2ScaledLevel(std::int32_t tl, std::uint32_t scale);

// F-numbers of one octave, C to the next C (formula beside the definition).
extern const std::uint16_t Opn2KeyTable[13];

// The block (0..7) and F-number (643..1287) the driver writes for `note`
// moved by `offset` F-number units (detune and glide): the sum folded into
// one octave of F-numbers, the block counting octaves and clamped.
struct Opn2Pitch {
    std::uint32_t block = 0;
    std::uint32_t fnum = 0;
};
Opn2Pitch Opn2NotePitch(std::uint32_t note, std::int64_t offset);
// The block and F-number nearest a frequency in Hz, with the F-number in
// the same octave window as Opn2NotePitch's (so the chip's key scaling and
// detune treat it alike); held at the chip's lowest and highest pitch.
Opn2Pitch Opn2PitchOfHz(double hz);

struct Opn2Channel {
    FmVoice ch_voice;              // never read: voices come from the bank
    std::uint8_t keyon = 0;
    std::uint8_t prog = 0;         // voice of the bank this channel plays
    std::uint8_t midi_pan = 64;    // last pan given, MIDI scale
    std::uint8_t ch_volume = 127;
    std::uint8_t cur_note = 0;
    std::uint8_t last_note = 0;    // note of the previous KeyOn (glide start)
    std::int32_t detune = 0;       // F-number units
    std::int32_t porta_time = 0;   // frames, 0 = no portamento
    std::int32_t porta_offset = 0; // current glide offset, F-number units
    std::int32_t porta_count = 0;  // frames left in the glide
    std::int32_t porta_step = 0;   // taken off porta_offset every frame
    std::int8_t vibrato = -1;      // pitch modulation depth 0..7 in place of the voice's; -1: the voice's
};

// Every register write is skipped while no writer is bound; the state changes
// of the operation still happen. Nothing is suppressed as a repeat.
class OPN2DRV {
public:
    static constexpr std::uint32_t kChannels = 6;

    OPN2DRV();
    OPN2DRV(const OPN2DRV&) = delete;
    OPN2DRV& operator=(const OPN2DRV&) = delete;

    // Binds the bank that voices are read from (in place, never copied).
    // Until then the operations that read a voice write nothing.
    void InstSet(FMInst* bank);
    // Binds the writer; a non-null writer at once gets the five initial writes.
    void VgmSet(VGMOUT* writer);

    // One raw register write.
    void SetReg(std::uint32_t port, std::uint32_t reg, std::uint32_t data);
    // Timer A count, taken modulo 1024, to 0x24 (high 8 bits) and 0x25.
    void SetTimerA(std::uint16_t value);
    // Timer B count to 0x26.
    void SetTimerB(std::uint8_t value);
    // Counts for tempo x division timer periods per minute; the results wrap
    // through the register mask. A zero product writes nothing.
    void SetTimerA_ByTempo(std::uint16_t tempo, std::uint16_t division);
    void SetTimerB_ByTempo(std::uint16_t tempo, std::uint16_t division);
    // Timer B count for a period of ms milliseconds, by the timer-B rule above.
    void SetTimerB_ByMilliSeconds(std::uint16_t ms);

    // Channel operations ignore a channel above 5 (no state change, no write).
    // Sets the note (0..127) and writes its pitch, folded into 643..1287 with
    // the block clamped to 0..7.
    void SetNote(std::uint32_t channel, std::uint32_t note);
    // Sets the pitch offset (F-number units) and rewrites the current pitch.
    void SetDetune(std::uint32_t channel, std::int32_t detune);
    // Glide time in frames, 0 = off; frames above 2^31 - 1 are taken as 2^31 - 1.
    void SetPortamentTime(std::uint32_t channel, std::uint32_t frames);
    // Keys all four operators on; starts a glide from the previous note.
    void KeyOn(std::uint32_t channel);
    // Keys all four operators off; a running glide goes on.
    void KeyOff(std::uint32_t channel);
    // Advances every running glide by one frame.
    void RunFrame();

    // Programs >= GetMaxInst() are ignored.
    void SetProgram(std::uint32_t channel, std::uint32_t prog);
    // vol 0..127 (larger taken as 127) scales the carriers' total levels.
    void SetVolume(std::uint32_t channel, std::uint32_t vol);
    // Stores the pan (0-63 left, 64 both, 65-127 right) and writes it.
    void SetPan(std::uint32_t channel, std::uint32_t pan);
    // Scales one operator's total level; out-of-range channel or operator: no write.
    void SetTL(std::uint32_t channel, std::uint32_t op, std::uint32_t scale);

    // Direct control, for a player that works out pitch and level itself.
    // Writes a pitch (block and F-number) without touching the note.
    void SetPitch(std::uint32_t channel, Opn2Pitch pitch);
    // Sets each carrier's total level `steps` (0.75 dB each) below the
    // voice's own, held at silence (127).
    void SetCarrierAttenuation(std::uint32_t channel, std::uint32_t steps);
    // The depth (0..7) of the chip LFO's pitch modulation on the channel,
    // in place of the voice's own until SetProgram; -1 gives the voice's back.
    void SetVibrato(std::uint32_t channel, std::int32_t depth);
    // Channel 6 plays the DAC, centred so that it starts silent; or FM again.
    void EnableDac(bool on);

    // State of channel 0..5.
    const Opn2Channel& Channel(std::uint32_t channel) const { return chan[channel]; }

private:
    // One write on the given port, skipped when no writer is bound.
    void Write(std::uint32_t port, std::uint32_t reg, std::uint32_t data);
    // The bank voice the channel plays; null while no bank is bound.
    const FmVoice* Voice(std::uint32_t channel) const;
    // Writes 0xB4 + k: the stereo bits of a MIDI pan and the voice's sensitivities.
    void WriteStereo(std::uint32_t channel, std::uint32_t pan, const FmVoice& v);

    Opn2Channel chan[kChannels];
    FMInst* inst = nullptr;  // not owned
    VGMOUT* vgm = nullptr;   // not owned
};
