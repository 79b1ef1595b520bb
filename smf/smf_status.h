// Why a MIDI file was not read, and the one line that says so. The reader and
// the file reading return a status; the programs print its message.
#pragma once

#include <cstddef>
#include <cstdint>

namespace MIDI {

enum class SmfStatus {
    Ok,
    OpenError,            // the file cannot be opened
    ReadError,            // it cannot be read, or holds 4 GiB or more
    HeaderIllegal,        // it does not start like a MIDI file
    HeaderLengthIllegal,
    DivisionIllegal,
    TrackIllegal,
    EndOfFile,            // it ends early
    NoRunningStatus,      // a data byte before any status byte
    TooLong,              // longer than a VGM file can hold
};

// The line printed before the reader looks at a MIDI file.
constexpr const char* kConvertingMessage = "Converting SMF...";

// The error line of `status` ("MIDIC: HeaderChunk Illegal, abort...", ...);
// empty for Ok.
const char* SmfMessage(SmfStatus status);

// Whether the file could not be taken in at all (opened or read), as opposed
// to a file the reader refused.
constexpr bool IsFileError(SmfStatus status) {
    return status == SmfStatus::OpenError || status == SmfStatus::ReadError;
}

// HeaderIllegal when the first bytes of a file (`size` of them so far) already
// show it is no MIDI file, Ok otherwise: fewer than four bytes decide nothing.
SmfStatus CheckSmfStart(const std::uint8_t* data, std::size_t size);

}  // namespace MIDI
