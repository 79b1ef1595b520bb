// Voice files of every supported format, read and written through one door:
// the format is told by the file's content where it has a signature (OPNI,
// WOPN) and by its extension otherwise (.opm, .tfi, .vgi, .y12, .dmp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "instruments/voice_record.h"

enum class VoiceFormat { kUnknown, kOpm, kTfi, kVgi, kY12, kDmp, kOpni, kWopn };

// The format a file name asks for by its extension, in any case.
VoiceFormat VoiceFormatOfName(const std::string& path);
// "OPM text", "TFI", ...
const char* VoiceFormatName(VoiceFormat format);
// OPM text and WOPN hold a bank of programs; the others one voice.
bool IsBankFormat(VoiceFormat format);

// A voice file that cannot be read or written: the file and the reason,
// e.g. "lead.tfi: is 41 bytes; a TFI voice is 42".
struct VoiceFileError {
    std::string path;
    std::string reason;

    std::string Message() const { return path + ": " + reason; }
};

// Files larger than this are refused unread: far more than any bank (a WOPN
// of a hundred banks is under a megabyte); the OPM loader's own bound.
constexpr std::size_t kMaxVoiceFileBytes = std::size_t{64} << 20;

// Reads every voice of a file: a single-voice file gives program 0, named
// after the file when the format has no name. An OPM text that the converter
// would refuse (unreadable, a syntax error) is refused; its programs are
// those the text defines, with names and SSG-EG comments read back.
// `read_as`, when given, receives the format the file was read as.
bool ReadVoiceFile(const std::string& path, VoiceBank& out, VoiceFileError& error, VoiceFormat* read_as = nullptr);
// The same for bytes in memory, as a file of `format` (not kOpm).
bool ReadVoiceBytes(const std::uint8_t* data, std::size_t size, VoiceFormat format, VoiceBank& out,
                    std::string& why);

// The bytes of a file of `format` holding `voices`: for a single-voice format
// its first voice, for OPM text and WOPN the whole bank. Lines in `losses`
// for what the format cannot hold. `header`: comment lines that open an OPM
// text.
std::vector<std::uint8_t> EncodeVoiceFile(VoiceFormat format, const VoiceBank& voices,
                                          const std::vector<std::string>& header, std::vector<std::string>& losses);

// Loads a bank for the converter from a file of any supported format. OPM
// text goes through the converter's own loader with its result and messages
// unchanged: on failure `error` is the converter's "OPM file read error
// (<code>), abort...". Other formats fill the programs they hold; on failure
// `error` is VoiceFileError::Message(). `warnings`: what the bank loses.
bool LoadVoiceBank(const std::string& path, FMInst& bank, std::string& error, std::vector<std::string>& warnings);
