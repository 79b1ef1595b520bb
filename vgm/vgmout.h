// VGMOUT records what the song makes the two sound chips do as a VGM 1.50
// command stream in memory, and saves it as "test.vgm" and "test.vgz".
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "vgm/vgm_format.h"
#include "vgm/vgm_save.h"

// The shadow of the YM2612 registers: bank (port bit 0), then register
// number. Every WriteRegOpn2 stores its data here, whichever writer it is
// called on, so that all the writers of one render share it. Each thread has
// a table of its own, so renders on separate threads never see each other's
// writes. All 0 when the thread starts, never cleared.
// Declared constant-initialised where the compiler allows it, so that other
// files reach it directly rather than through GCC's thread-local wrapper,
// whose check for an initialiser the undefined-behaviour sanitizer takes for a
// null pointer (the table sits at offset 0 of the thread's storage).
#if defined(__GNUC__) && !defined(__clang__)
#define FMROLL_CONSTINIT __constinit
#else
#define FMROLL_CONSTINIT
#endif
extern thread_local FMROLL_CONSTINIT std::uint8_t fm_block[2][256];
#undef FMROLL_CONSTINIT

class VGMOUT {
public:
    static constexpr std::size_t kHeaderSize = VGM::kHeaderSize;

    // `stream_limit` is the longest stream the writer keeps; the default is
    // what the header's EOF field can hold.
    explicit VGMOUT(std::uint64_t stream_limit = VGM::kMaxStreamSize);
    VGMOUT(const VGMOUT&) = delete;
    VGMOUT& operator=(const VGMOUT&) = delete;

    // One YM2612 write: 0x52 (port bit 0 clear) or 0x53 (set), reg & 0xFF, data & 0xFF.
    void WriteRegOpn2(std::uint32_t port, std::uint32_t reg, std::uint32_t data);
    // One SN76489 byte: 0x50, data & 0xFF.
    void WriteRegDcsg(std::uint32_t data);
    // A wait of any length, split into commands of at most 65535 samples.
    void WriteWait(std::uint32_t samples);
    void WriteWait_60();  // 735 samples, one 1/60 s frame
    void WriteWait_50();  // 882 samples, one 1/50 s frame
    // YM2612 PCM samples: a data block of `bytes` (unsigned 8-bit, 0x80 the
    // centre) appended to the PCM bank that the DAC commands read, whose
    // first byte is at offset 0 of the first block.
    void WritePcmBlock(const std::vector<std::uint8_t>& bytes);
    // The next DAC write reads PCM byte `offset` of the bank.
    void WritePcmSeek(std::uint32_t offset);
    // Writes the next PCM byte to the YM2612 DAC, then waits `samples`
    // (0..15; more is taken as 15).
    void WriteDacAndWait(std::uint32_t samples);
    // Records the loop point at the current end of the stream; a later call wins.
    void SetLoopHere();
    // Appends the end-of-data command; Save never adds one of its own.
    void WriteEndMarker();

    // True once the stream has passed `stream_limit` or the sample count has
    // passed 32 bits: from then on every append is dropped, the stream stops
    // growing, and the file cannot be saved. A renderer stops at this point.
    bool Full() const { return full || samples_overflow; }

    // Completes the header and writes "test.vgm" and "test.vgz" in the current
    // directory (`name` does not enter into the file names), the two replaced
    // together or not at all (see VGM::SaveImage). TooLarge when the writer is
    // Full. A loop point with no samples after it is saved as no loop.
    VGM::SaveResult Save(const char* name);

    // The whole file as Save writes it: the completed header, then the stream.
    // Empty when the writer is Full.
    std::vector<std::uint8_t> Image() const;
    // Whether a stream of `length` bytes still fits the header's EOF field.
    static bool StreamFitsHeader(std::size_t length);

    // Prints this thread's fm_block as two 16 x 16 tables of decimal values
    // on standard output.
    void PtrintAllRegister();

    const std::vector<std::uint8_t>& Stream() const { return stream; }
    std::uint32_t TotalSamples() const { return total_samples; }
    std::uint32_t LoopOffset() const { return loop_offset; }
    std::uint32_t LoopStartSamples() const { return loop_start_samples; }

private:
    std::uint32_t total_samples = 0;
    std::uint32_t loop_offset = 0;         // stream bytes before the loop point; 0 = no loop
    std::uint32_t loop_start_samples = 0;  // total_samples at the loop point
    bool samples_overflow = false;         // total_samples has passed 32 bits
    bool full = false;                     // the stream has passed stream_limit
    std::uint64_t stream_limit;
    std::uint8_t header[kHeaderSize];
    std::vector<std::uint8_t> stream;

    void AddSamples(std::uint32_t samples);
    void Append(std::initializer_list<std::uint8_t> bytes);
};
