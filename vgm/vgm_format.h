// The VGM 1.50 file as this system writes it and reads it back: the chip
// clocks, the timing units, the command bytes and the header layout. Every
// header field is little-endian; an offset field counts from its own position.
#pragma once

#include <cstddef>
#include <cstdint>

namespace VGM {

// ---- Timing ---------------------------------------------------------------

// Every wait counts samples of 1/44100 s.
constexpr std::uint32_t kSampleRate = 44100;
constexpr std::uint32_t kSamplesPerFrame = kSampleRate / 60;    // 735: one 1/60 s frame
constexpr std::uint32_t kSamplesPerFrame50 = kSampleRate / 50;  // 882: one 1/50 s frame
constexpr std::uint32_t kMaxWait = 0xFFFF;                      // longest single kCmdWait

// ---- Chips ----------------------------------------------------------------

constexpr std::uint32_t kYm2612Clock = 7670453;   // Hz
constexpr std::uint32_t kSn76489Clock = 3579545;  // Hz
constexpr std::uint16_t kSn76489Feedback = 0x0009;
constexpr std::uint8_t kSn76489ShiftWidth = 16;

// ---- Commands (operand bytes after the command byte) ----------------------

constexpr std::uint8_t kCmdSn76489Write = 0x50;  // dd: one SN76489 byte
constexpr std::uint8_t kCmdYm2612Port0 = 0x52;   // aa dd: register aa of port 0 := dd
constexpr std::uint8_t kCmdYm2612Port1 = 0x53;   // aa dd: the same on port 1
constexpr std::uint8_t kCmdWait = 0x61;          // nn nn: wait n samples, little-endian
constexpr std::uint8_t kCmdWaitFrame = 0x62;     // wait kSamplesPerFrame samples
constexpr std::uint8_t kCmdWaitFrame50 = 0x63;   // wait kSamplesPerFrame50 samples
constexpr std::uint8_t kCmdEnd = 0x66;           // end of the sound data
constexpr std::uint8_t kCmdDataBlock = 0x67;     // 66 tt ss ss ss ss, then ss bytes of data of type tt
constexpr std::uint8_t kCmdWaitShort = 0x70;     // 0x7n: wait n + 1 samples
constexpr std::uint8_t kCmdDacWait = 0x80;       // 0x8n: next PCM byte to the YM2612 DAC, then wait n samples
constexpr std::uint8_t kCmdPcmSeek = 0xE0;       // dd dd dd dd: the next DAC byte is PCM byte d

// A data block: its head (command, compatibility byte, type, 32-bit size),
// and the type of the YM2612's PCM samples, which the 0x8n commands read.
constexpr std::size_t kDataBlockHead = 7;
constexpr std::uint8_t kDataBlockCompat = kCmdEnd;  // an old player stops here instead of misreading
constexpr std::uint8_t kDataTypeYm2612Pcm = 0x00;
constexpr std::uint32_t kMaxDacWait = 15;
constexpr std::uint32_t kDataBlockSizeMask = 0x7FFFFFFF;  // bit 31 marks the second chip

// ---- Header ---------------------------------------------------------------

constexpr std::size_t kHeaderSize = 0x40;  // a 1.50 header; the commands follow it
constexpr std::uint8_t kIdent[4] = {'V', 'g', 'm', ' '};
constexpr std::uint32_t kVersion150 = 0x150;  // BCD
constexpr std::uint32_t kRateNtsc = 60;       // the rate field: 60 Hz playback

constexpr std::size_t kOffIdent = 0x00;
constexpr std::size_t kOffEof = 0x04;           // file length - kOffEof
constexpr std::size_t kOffVersion = 0x08;
constexpr std::size_t kOffSn76489Clock = 0x0C;
constexpr std::size_t kOffYm2413Clock = 0x10;
constexpr std::size_t kOffGd3 = 0x14;           // tag position - kOffGd3; 0 = no tag
constexpr std::size_t kOffTotalSamples = 0x18;
constexpr std::size_t kOffLoopOffset = 0x1C;    // loop position - kOffLoopOffset; 0 = no loop
constexpr std::size_t kOffLoopSamples = 0x20;
constexpr std::size_t kOffRate = 0x24;
constexpr std::size_t kOffSn76489Feedback = 0x28;    // 16 bits
constexpr std::size_t kOffSn76489ShiftWidth = 0x2A;  // 8 bits
constexpr std::size_t kOffYm2612Clock = 0x2C;
constexpr std::size_t kOffYm2151Clock = 0x30;
constexpr std::size_t kOffDataOffset = 0x34;    // data position - kOffDataOffset; 0 = kHeaderSize

// The EOF field is 32 bits, so a file holds at most this many bytes, and its
// command stream (behind the header, with nothing after it) this many.
constexpr std::uint64_t kMaxFileSize = std::uint64_t{0xFFFFFFFF} + kOffEof;
constexpr std::uint64_t kMaxStreamSize = kMaxFileSize - kHeaderSize;

// Little-endian fields of a header held as bytes.
inline void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t Get32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace VGM
