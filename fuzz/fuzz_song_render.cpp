// Fuzz target: arbitrary bytes through fmtool convert's own renderer: the
// arranger's plan for the chips, played straight into a VGM stream. Whatever
// file the reader accepts must render to a stream that takes a tag, lasts
// exactly its frames, holds at most one PCM data block and that one first,
// and never sends the DAC outside it; FM channel 6 is never keyed while the
// DAC has it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "chips/ym2612_map.h"
#include "fmtool/arrange/arranger.h"
#include "fmtool/arrange/song_tag.h"
#include "fmtool/render/song_render.h"
#include "fuzz/fuzz_support.h"
#include "instruments/fminst.h"
#include "instruments/gm_bank.h"
#include "smf/smf_score.h"
#include "vgm/chip_notes.h"
#include "vgm/gd3.h"
#include "vgm/vgm_format.h"
#include "vgm/vgmout.h"

namespace {

FMInst* bank = nullptr;

// Replays the DAC's reads of the bank and the keys of FM channel 6.
void CheckStream(const std::vector<std::uint8_t>& s) {
    std::uint64_t bankSize = 0, pcm = 0;
    bool dac = false;
    for (std::size_t at = 0; at < s.size();) {
        const std::uint8_t* p = s.data() + at;
        const std::size_t n = VGM::CommandLength(p, s.size() - at);
        if (n == 0) std::abort();
        const std::uint8_t c = p[0];
        if (c == VGM::kCmdDataBlock) {
            if (at != 0 || p[2] != VGM::kDataTypeYm2612Pcm) std::abort();
            bankSize = VGM::Get32(p + 3);
        } else if (c == VGM::kCmdPcmSeek) {
            pcm = VGM::Get32(p + 1);
            if (pcm >= bankSize) std::abort();
        } else if (c >= VGM::kCmdDacWait && c <= VGM::kCmdDacWait + VGM::kMaxDacWait) {
            if (!dac || pcm++ >= bankSize) std::abort();
        } else if (c == VGM::kCmdYm2612Port0 && p[1] == YM2612::kRegDacEnable) {
            dac = (p[2] & YM2612::kDacOn) != 0;
        } else if (c == VGM::kCmdYm2612Port0 && p[1] == YM2612::kRegKeyOnOff) {
            if (dac && (p[2] & 7) == YM2612::KeyCode(5) && (p[2] & YM2612::kAllOperatorsOn)) std::abort();
        }
        at += n;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::SilenceStandardStreams();
    bank = fuzzsupport::LoadedGmBank();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MIDI::Score score;
    if (!MIDI::ReadScore(data, size, score)) return 0;
    fmtool::SongPlan plan(*bank);
    if (!fmtool::PlanSong(score, fmtool::PlanFor::Chips, plan)) return 0;  // too long for a VGM file
    if (plan.perf.end.frame > fuzzsupport::kMaxRenderedFrames) return 0;
    VGMOUT vgm;
    fmtool::RenderPlan(plan, *bank, vgm);
    if (vgm.TotalSamples() != plan.perf.end.frame * VGM::kSamplesPerFrame) std::abort();
    CheckStream(vgm.Stream());
    std::vector<std::uint8_t> image = vgm.Image();
    if (image.empty() || !VGM::AppendGd3(image, fmtool::SongTag(fmtool::ReadSongTexts(score, "fuzz")))) std::abort();
    return 0;
}
