// Fuzz target: the SMF reader and the tick-to-frame conversion on arbitrary
// bytes. Besides the sanitizers' checks it holds the converted song to its
// shape: clocks in order, the end event last, frames within the VGM limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "smf/midic.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::SilenceStandardStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MIDI::MIDIC reader;
    std::unique_ptr<MIDI::DMIDI> song = reader.read_smf(data, size, 48);
    if (!song) return 0;
    // A read song always ends with the end event, which holds the last clock.
    if (song->events.empty() || !song->events.back().is_end() || !fuzzsupport::ClocksNeverDecrease(*song)) std::abort();
    if (song->timebase != 48) std::abort();

    if (!reader.convert_clock_to_frame(song.get(), 60)) return 0;
    if (!fuzzsupport::ClocksNeverDecrease(*song)) std::abort();
    if (song->events.back().clock > MIDI::MIDIC::kMaxEndFrame) std::abort();
    return 0;
}
