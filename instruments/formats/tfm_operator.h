// The operator block TFI and VGI share: ten bytes in register order, DT in
// the offset code.
#pragma once

#include <cstdint>
#include <string>

#include "instruments/formats/voice_registers.h"

namespace voiceformat {

constexpr std::size_t kTfmOperatorBytes = 10;

// Reads one block into `op` and its SSG-EG; false with `why` when a byte is
// out of range. `am_in_decay`: a decay byte's bit 7 is the AM flag.
bool ReadTfmOperator(const std::uint8_t* p, unsigned slot, bool am_in_decay, FmOperator& op, std::uint8_t& ssg_eg,
                     std::string& why);
void WriteTfmOperator(const OperatorImage& image, std::uint8_t* p);

}  // namespace voiceformat
