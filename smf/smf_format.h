// The Standard MIDI File vocabulary: chunk layout, status bytes, controller
// numbers and meta event types, named once for the reader, the sequencer and
// the tools.
#pragma once

#include <cstddef>
#include <cstdint>

namespace MIDI {

// ---- Chunks ---------------------------------------------------------------

constexpr char kHeaderTag[4] = {'M', 'T', 'h', 'd'};
constexpr char kTrackTag[4] = {'M', 'T', 'r', 'k'};
constexpr std::size_t kChunkHeaderSize = 8;    // tag, big-endian length
constexpr std::size_t kHeaderChunkSize = 14;   // tag, length 6, format, tracks, division
constexpr std::uint16_t kSmpteDivision = 0x8000;  // division bit 15: SMPTE timing

// ---- Status bytes ---------------------------------------------------------

// A byte with bit 7 set starts a message; without it, it is a data byte
// (running status repeats the last channel status).
constexpr std::uint8_t kStatusBit = 0x80;

// Channel messages: the high nibble is the kind, the low nibble the channel.
constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kKeyPressure = 0xA0;
constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kProgramChange = 0xC0;
constexpr std::uint8_t kChannelPressure = 0xD0;
constexpr std::uint8_t kPitchBend = 0xE0;
constexpr std::uint8_t kKindMask = 0xF0;
constexpr std::uint8_t kChannelMask = 0x0F;

// A pitch bend's two 7-bit data bytes, low first, hold 0..16383; this is
// the centre (no bend).
constexpr int kPitchBendCentre = 8192;
// A bend as a signed value: -8192..8191.
constexpr int kBendMin = -kPitchBendCentre;
constexpr int kBendMax = kPitchBendCentre - 1;

// System messages: 0xF0 to 0xFE, each with a length in a file.
constexpr std::uint8_t kFirstSystemStatus = 0xF0;
constexpr std::uint8_t kSystemExclusive = 0xF0;
constexpr std::uint8_t kSystemExclusiveEscape = 0xF7;
// Meta events: 0xFF, the type, a length, the body.
constexpr std::uint8_t kMetaEvent = 0xFF;

// ---- Controller numbers (the first data byte of a control change) --------

constexpr unsigned kCcBankSelect = 0;
constexpr unsigned kCcModulation = 1;
constexpr unsigned kCcPortamentoTime = 5;
constexpr unsigned kCcDataEntry = 6;
constexpr unsigned kCcVolume = 7;
constexpr unsigned kCcPan = 10;
constexpr unsigned kCcExpression = 11;
constexpr unsigned kCcDataEntryFine = 38;
constexpr unsigned kCcLoopPoint = 56;  // this system's own: the VGM loop starts here
constexpr unsigned kCcSustain = 64;
constexpr unsigned kCcNrpnLsb = 98;
constexpr unsigned kCcNrpnMsb = 99;
constexpr unsigned kCcRpnLsb = 100;
constexpr unsigned kCcRpnMsb = 101;
constexpr unsigned kCcLoopStart = 111;  // the loop start of much game music
constexpr unsigned kCcAllSoundOff = 120;
constexpr unsigned kCcResetAllControllers = 121;
constexpr unsigned kCcAllNotesOff = 123;

// ---- Meta event types -----------------------------------------------------

constexpr std::uint8_t kMetaSequenceNumber = 0x00;
constexpr std::uint8_t kMetaText = 0x01;  // 0x01-0x0F are texts of various kinds
constexpr std::uint8_t kMetaCopyright = 0x02;
constexpr std::uint8_t kMetaTrackName = 0x03;
constexpr std::uint8_t kMetaInstrumentName = 0x04;
constexpr std::uint8_t kMetaLyric = 0x05;
constexpr std::uint8_t kMetaMarker = 0x06;
constexpr std::uint8_t kMetaCuePoint = 0x07;
constexpr std::uint8_t kMetaLastText = 0x0F;
constexpr std::uint8_t kMetaChannelPrefix = 0x20;
constexpr std::uint8_t kMetaEndOfTrack = 0x2F;
constexpr std::uint8_t kMetaSetTempo = 0x51;  // 24-bit microseconds per quarter note
constexpr std::uint8_t kMetaSmpteOffset = 0x54;
constexpr std::uint8_t kMetaTimeSignature = 0x58;
constexpr std::uint8_t kMetaKeySignature = 0x59;
constexpr std::uint8_t kMetaSequencerSpecific = 0x7F;

}  // namespace MIDI
