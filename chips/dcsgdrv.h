// DCSGDRV drives the SN76489 square-wave chip: tone channels 0-2 and the
// noise channel 3, each request turned at once into the chip's byte protocol.
#pragma once

#include <cstdint>

class VGMOUT;

// The raw pitch bend that moves a tone a whole octave.
constexpr std::int32_t kDcsgDetuneOctave = 8191;

// The 10-bit tone period the driver writes for `note` bent by `detune` (the
// raw pitch bend, kDcsgDetuneOctave = one octave): 0 above note 107, clamped
// to 0..1023. A period of 0 is silent.
std::uint32_t DcsgTonePeriod(std::uint32_t note, std::int32_t detune);

// The attenuation (0 loudest .. 15 silent) of a keyed channel at `volume`
// (expression, 0..127, more taken as 127): eight volume steps an attenuation step.
std::uint32_t DcsgAttenuation(std::uint32_t volume);

// The tone period (1..1023) nearest a frequency in Hz: clock / (32 x Hz).
std::uint32_t DcsgPeriodOfHz(double hz);

struct DcsgChannel {
    std::uint8_t keyon = 0;
    std::uint8_t ch_volume = 127;  // 0..127
    std::uint8_t cur_note = 0;     // MIDI note number
    std::int32_t detune = 0;       // raw pitch bend; one octave = 8191
};

class DCSGDRV {
public:
    static constexpr std::uint32_t kChannels = 4;

    DCSGDRV();
    DCSGDRV(const DCSGDRV&) = delete;
    DCSGDRV& operator=(const DCSGDRV&) = delete;

    // Binds the writer that receives every byte from now on (not owned). With
    // no writer bound, operations only update their state.
    void VgmSet(VGMOUT* writer);

    void SetPan(std::uint32_t ch, std::uint32_t pan);  // no effect: the chip has no panning
    void SetReg(std::uint32_t data);                   // passes one raw byte to the chip
    void SetNoiseControl(std::uint32_t rate);          // shift rate = rate & 3; emits noise control
    void SetNoiseFeedback(std::uint32_t on);           // white noise if on != 0; emits noise control
    // The channel operations below ignore a channel above 3 entirely.
    // Stores min(vol, 127); emits the attenuation only while keyed on.
    void SetVolume(std::uint32_t ch, std::uint32_t vol);
    // Stores the note; on tone channels emits its period (0 above note 107).
    void SetNote(std::uint32_t ch, std::uint32_t note);
    // Emits silence, keyed on or not, and clears the key.
    void KeyOff(std::uint32_t ch);
    // Sets the key and emits the attenuation of the stored volume.
    void KeyOn(std::uint32_t ch);
    // Stores the bend (8191 = one octave); on tone channels emits the period again.
    void SetDetune(std::uint32_t ch, std::int32_t detune);
    // On channel 3 selects the noise mode (program & 7) with two control
    // bytes; no effect on the others.
    void SetProgram(std::uint32_t ch, std::uint32_t program);

    // Direct control, for a player that works out pitch and level itself;
    // the stored note, bend, volume and key are left alone.
    // Emits a tone channel's period (0..1023); no effect on the noise.
    void SetPeriod(std::uint32_t ch, std::uint32_t period);
    // Emits an attenuation (0 loudest .. 15 silent; more is silent).
    void SetAttenuation(std::uint32_t ch, std::uint32_t attenuation);

    const DcsgChannel& Channel(std::uint32_t ch) const { return chan[ch]; }
    std::uint32_t NoiseFeedback() const { return noise_feedback; }
    std::uint32_t NoiseShift() const { return noise_shift; }

private:
    DcsgChannel chan[kChannels];
    std::uint32_t noise_feedback = 0;  // 1 white noise, 0 periodic
    std::uint32_t noise_shift = 0;     // 0..3; 3 follows tone channel 2
    VGMOUT* vgm = nullptr;             // not owned

    void Emit(std::uint32_t data);
    void EmitNoiseControl();
    void EmitAttenuation(std::uint32_t ch, std::uint32_t attenuation);
    void EmitPeriod(std::uint32_t ch);
};
