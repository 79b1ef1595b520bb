// Fuzz target: arbitrary SMF bytes through the whole conversion (reader,
// frame conversion, sequencer, both chip drivers and the VGM writer) into
// memory, with a fixed bank. It holds that frame numbers never decrease along
// the song and that the file's sample count is one frame's worth of samples
// per frame of the song.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "instruments/fminst.h"
#include "smf/midic.h"
#include "sequencer/render_song.h"
#include "vgm/vgm_format.h"
#include "vgm/vgmout.h"

namespace {

// Voices with different algorithms, pans and LFO settings, and one whose
// values all lie outside the registers' ranges, so that the drivers' masking
// is exercised too.
const char kBank[] =
    "@:0 Sine\n"
    "LFO: 0 0 0 0 0\n"
    "CH: 192 0 7 0 0 120 0\n"
    "M1: 31 0 0 15 0 0 0 1 0 0 0\n"
    "@:1 Bass\n"
    "LFO: 10 20 30 1 0\n"
    "CH: 64 5 4 2 3 120 0\n"
    "M1: 28 5 0 6 1 35 1 2 3 0 0\n"
    "C1: 31 8 2 7 2 0 1 1 0 0 128\n"
    "M2: 25 9 1 5 3 40 0 3 7 0 0\n"
    "C2: 31 4 3 8 2 5 2 1 4 0 255\n"
    "@:2 Stack\n"
    "LFO: 0 0 0 0 0\n"
    "CH: 128 7 0 0 0 120 0\n"
    "M1: 31 0 0 15 0 20 0 1 0 0 0\n"
    "C2: 31 0 0 15 0 0 0 1 0 0 0\n"
    "@:3 Pair\n"
    "LFO: 0 0 0 0 0\n"
    "CH: 0 3 5 0 0 120 0\n"
    "M2: 31 0 0 15 0 10 0 2 0 0 0\n"
    "@:127 Wild\n"
    "LFO: -1 999 -999 7 70000\n"
    "CH: -64 -1 99 -3 77 -1 5\n"
    "M1: -1 99 -99 99 -1 999 -7 99 -9 9 -256\n"
    "C1: 2147483647 -2147483648 1 1 1 1 1 1 1 1 1\n"
    "M2: 0 0 0 0 0 -1 0 0 0 0 0\n"
    "C2: 63 63 63 63 63 255 15 31 15 7 1024\n";

FMInst* bank = nullptr;


}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::SilenceStandardStreams();
    bank = fuzzsupport::LoadFixedBank(kBank);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<MIDI::DMIDI> song = MIDI::ReadSong(data, size);
    if (!song) return 0;
    // A decreasing frame would also send the render loop round for ever.
    if (song->events.empty() || !fuzzsupport::ClocksNeverDecrease(*song)) std::abort();
    const std::uint32_t endFrame = song->events.back().clock;
    if (endFrame > fuzzsupport::kMaxRenderedFrames) return 0;

    VGMOUT vgm;
    MIDI::RenderSong(song.get(), bank, &vgm);

    if (vgm.TotalSamples() != VGM::kSamplesPerFrame * endFrame) std::abort();
    const std::vector<std::uint8_t> image = vgm.Image();
    if (image.size() != VGMOUT::kHeaderSize + vgm.Stream().size()) std::abort();
    // The end event is always last, so the stream always closes with the end marker.
    if (vgm.Stream().empty() || vgm.Stream().back() != VGM::kCmdEnd) std::abort();
    return 0;
}
