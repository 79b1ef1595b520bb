// The readers and writers of the voice file formats, one file each. A reader
// takes the whole file's bytes and gives its voices, or false with `why` set
// to the reason in a few words ("is 41 bytes; a TFI voice is 42"). A writer
// takes a voice at the chip's field widths (values outside them are masked,
// see OutOfRange) and adds a line to `losses` for every field it cannot hold
// that differs from the format's default. The layouts follow the formats'
// public documentation; each file says where it had to choose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "instruments/voice_record.h"

namespace voiceformat {

using Bytes = std::vector<std::uint8_t>;

// TFM Music Maker instrument, 42 bytes.
bool ReadTfi(const std::uint8_t* data, std::size_t size, BankVoice& out, std::string& why);
Bytes WriteTfi(const BankVoice& voice, std::vector<std::string>& losses);

// VGM Music Maker instrument, 43 bytes.
bool ReadVgi(const std::uint8_t* data, std::size_t size, BankVoice& out, std::string& why);
Bytes WriteVgi(const BankVoice& voice, std::vector<std::string>& losses);

// Gens KMod register dump, 128 bytes.
bool ReadY12(const std::uint8_t* data, std::size_t size, BankVoice& out, std::string& why);
Bytes WriteY12(const BankVoice& voice, std::vector<std::string>& losses);

// DefleMask FM preset, versions 10 and 11 (50 or 51 bytes); written as 11.
bool ReadDmp(const std::uint8_t* data, std::size_t size, BankVoice& out, std::string& why);
Bytes WriteDmp(const BankVoice& voice, std::vector<std::string>& losses);

// OPN2 bank editor instrument, versions 1 and 2; written as 2.
bool IsOpni(const std::uint8_t* data, std::size_t size);
bool ReadOpni(const std::uint8_t* data, std::size_t size, BankVoice& out, std::string& why);
Bytes WriteOpni(const BankVoice& voice, std::vector<std::string>& losses);

// OPN2 bank editor bank, versions 1 and 2; written as 2. The first melodic
// bank gives programs 0-127.
bool IsWopn(const std::uint8_t* data, std::size_t size);
bool ReadWopn(const std::uint8_t* data, std::size_t size, VoiceBank& out, std::string& why);
Bytes WriteWopn(const VoiceBank& bank, std::vector<std::string>& losses);

// The OPM text of a bank, in the layout the OPM loader reads. Before each
// voice come comment lines: its notes, and its SSG-EG in the form
// ReadOpmExtras reads back (the converter ignores it).
std::string WriteOpmText(const VoiceBank& bank, const std::vector<std::string>& header);
// From an OPM text: the voice names of the program lines and the SSG-EG
// comments WriteOpmText writes, into the voices of `bank` already loaded.
void ReadOpmExtras(const std::string& text, VoiceBank& bank);

}  // namespace voiceformat
