// The notes a VGM command stream makes the two sound chips play, read back
// from the register writes alone: which channel sounds, from which sample to
// which, at what pitch, and whether anything can be heard. It knows nothing
// of how the stream was made, so it reads files of any tool as well as the
// converter's own.
//
// Chip channels: 0-5 the YM2612's FM channels, 6-8 the SN76489's square
// channels, 9 its noise channel.
//
// What one chip note is:
// - FM: it begins at a key-on write (register 0x28 with any operator bit set
//   for the channel) and ends at the channel's next write to 0x28: a key-off,
//   or another key-on. A key-on while the channel is already keyed starts a
//   new note too (`legato` set): the chip changes pitch but does not restart
//   the envelope.
// - Squares and noise: the chip has no key. A note begins when the channel's
//   attenuation drops below 15 (silent) and ends when it returns to 15.
//   Changes between two audible attenuations continue the note.
// - A note still sounding when the stream ends (0x66, or its last byte) ends
//   there. Notes may last 0 samples: started and ended before any wait.
//
// Audible, judged at the note's start:
// - FM: the channel's voice is loaded (its algorithm register 0xB0 + k was
//   written since the stream began), at least one carrier operator of that
//   algorithm has a total level (7 bits) below 127, at least one of the
//   output bits L/R of 0xB4 + k is set (both are set until it is written),
//   and the DAC has not taken over channel 5 (register 0x2B bit 7).
// - Squares: attenuation below 15 (always so at a note's start) and a period
//   above 0: a period of 0 is far above hearing, and players render silence.
// - Noise: attenuation below 15.
//
// Pitch, at the note's start: FM f = fnum * 7670453 / (144 * 2^(21 - block))
// from 0xA4 + k / 0xA0 + k (the chip applies both on the 0xA0 write); squares
// f = 3579545 / (32 * period). Later changes while the note sounds (bends,
// glides) are counted and the last pitch kept. Noise has no pitch (0 Hz).
//
// Every command the VGM format defines is stepped over by its length
// (VgmCommandLength), so writes to other chips, data blocks and PCM commands
// do no harm; reading never goes past the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace VGM {

constexpr unsigned kChipFmChannels = 6;   // chip channels 0-5
constexpr unsigned kChipFirstSquare = 6;  // chip channels 6-8
constexpr unsigned kChipNoise = 9;
constexpr unsigned kChipChannels = 10;

struct ChipNote {
    std::uint8_t channel = 0;        // 0-5 FM, 6-8 squares, 9 noise
    std::uint64_t on_sample = 0;     // samples (1/44100 s) since the stream began
    std::uint64_t off_sample = 0;    // >= on_sample
    double hz = 0;                   // pitch at the start; 0 for noise and period 0
    int note = -1;                   // nearest MIDI note to `hz` (69 = 440 Hz); -1 without pitch
    bool audible = false;            // see the contract above
    bool legato = false;             // FM: keyed again while already keyed
    unsigned pitch_changes = 0;      // pitch writes that changed the pitch while it sounded
    double last_hz = 0;              // pitch when it ended
    std::uint8_t noise_mode = 0;     // noise notes: the control bits (bit 2 white, bits 1-0 rate)

    std::uint64_t Samples() const { return off_sample - on_sample; }
};

// Length in bytes of the command at `p` (command byte and operands; a data
// block counts its data). 0 when the command is unknown or the `available`
// bytes do not hold it whole.
std::size_t CommandLength(const std::uint8_t* p, std::size_t available);

// Nearest MIDI note of a frequency; -1 for 0 Hz or less.
int NearestMidiNote(double hz);

// Follows the chips' registers command by command and hands every finished
// note to the sink, in the order the notes end.
class ChipNoteTracker {
public:
    using Sink = std::function<void(const ChipNote&)>;

    explicit ChipNoteTracker(Sink sink);

    // One whole command as CommandLength measures it. Waits advance the clock;
    // commands for other chips are ignored. Returns false for the end command
    // (0x66), after which further commands are ignored.
    bool Command(const std::uint8_t* bytes, std::size_t length);
    // Ends every note still sounding at the current sample. Call once, last.
    void Finish();

    std::uint64_t Sample() const { return sample_; }

private:
    struct FmChannel {
        bool keyed = false;
        bool loaded = false;
        std::uint8_t algorithm = 0;
        std::uint8_t stereo = 0xC0;
        std::uint8_t tl[4] = {0, 0, 0, 0};
        std::uint8_t block_fnum_high = 0;  // 0xA4 + k as latched
        std::uint16_t fnum = 0;
        std::uint8_t block = 0;
    };
    struct PsgChannel {
        std::uint8_t attenuation = 15;
        std::uint16_t period = 0;
    };

    void WriteFm(unsigned port, std::uint8_t reg, std::uint8_t data);
    void WritePsg(std::uint8_t data);
    void StartNote(unsigned channel, bool audible, bool legato);
    void EndNote(unsigned channel);
    void PitchChanged(unsigned channel);
    double Pitch(unsigned channel) const;
    bool FmAudible(unsigned channel) const;

    Sink sink_;
    std::uint64_t sample_ = 0;
    bool ended_ = false;
    bool dac_ = false;
    FmChannel fm_[kChipFmChannels];
    PsgChannel psg_[4];
    std::uint8_t psg_latch_ = 0;   // register selected by the last latch byte (bits 6-4)
    std::uint8_t noise_mode_ = 0;
    bool sounding_[kChipChannels] = {};
    ChipNote open_[kChipChannels];
};

// How far a whole stream was read.
enum class StreamEnd {
    EndCommand,      // the end command 0x66
    EndOfData,       // the buffer ended between two commands
    Truncated,       // the last command was cut off by the end of the buffer
    UnknownCommand,  // a command byte the format does not define
};

struct ChipNotes {
    std::vector<ChipNote> notes;  // by start sample, then chip channel
    std::uint64_t end_sample = 0; // the clock when reading stopped
    StreamEnd end = StreamEnd::EndOfData;
    std::size_t stopped_at = 0;   // offset in the data where reading stopped
};

// Reads a command stream (the data of a VGM file, from its data offset) whole.
ChipNotes ReadChipNotes(const std::uint8_t* data, std::size_t size);

}  // namespace VGM
