// Fuzz target: arbitrary SMF bytes through fmtool check (the score, the
// playback model, the findings and both report forms). It holds that the
// model's stretches of sound agree, chip channel by chip channel, with the
// audible chip notes of a frame or more decoded from the converter's real
// output, and that no more notes are heard than there are.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "fmtool/check/loss_report.h"
#include "fmtool/check/report_format.h"
#include "fuzz/fuzz_support.h"
#include "instruments/fminst.h"
#include "sequencer/render_song.h"
#include "smf/smf_score.h"
#include "vgm/chip_notes.h"
#include "vgm/vgm_format.h"
#include "vgm/vgmout.h"

namespace {

// A voice that plays, one silent at every velocity, one heard only at full
// velocity, and one whose connection lies outside 0-7 (the chip and the
// driver read it differently); the other programs stay silent defaults.
const char kBank[] =
    "@:0 Plain\nLFO: 0 0 0 0 0\nCH: 192 0 7 0 0 120 0\nM1: 31 0 0 15 0 0 0 1 0 0 0\n"
    "@:1 Silent\nLFO: 0 0 0 0 0\nCH: 64 0 4 0 0 120 0\nC1: 31 0 0 15 0 127 0 1 0 0 0\n"
    "C2: 31 0 0 15 0 127 0 1 0 0 0\n"
    "@:2 Faint\nLFO: 0 0 0 0 0\nCH: 128 0 0 0 0 120 0\nC2: 31 0 0 15 0 126 0 1 0 0 0\n"
    "@:3 Odd\nLFO: 0 0 0 0 0\nCH: 192 0 12 0 0 120 0\nC1: 31 0 0 15 0 0 0 1 0 0 0\n"
    "C2: 31 0 0 15 0 300 0 1 0 0 0\n";

FMInst* bank = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::SilenceStandardStreams();
    bank = fuzzsupport::LoadFixedBank(kBank);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MIDI::Score score;
    std::unique_ptr<MIDI::DMIDI> song;
    if (!MIDI::ReadScore(data, size, score, &song)) return 0;
    const fmtool::LossReport report = fmtool::BuildLossReport(score, *song, *bank);
    if (report.heard > report.notes) std::abort();
    std::ostringstream out;
    fmtool::WriteReportText(out, report);
    fmtool::WriteReportJson(out, report);

    if (song->events.empty() || song->events.back().clock > fuzzsupport::kMaxRenderedFrames) return 0;
    VGMOUT vgm;
    MIDI::RenderSong(song.get(), bank, &vgm);
    const VGM::ChipNotes decoded = VGM::ReadChipNotes(vgm.Stream().data(), vgm.Stream().size());
    std::uint32_t sounds[VGM::kChipChannels] = {};
    for (const VGM::ChipNote& n : decoded.notes) sounds[n.channel] += n.audible && n.Samples() >= VGM::kSamplesPerFrame;
    for (unsigned ch = 0; ch < VGM::kChipChannels; ++ch)
        if (sounds[ch] != report.chip_sounds[ch]) std::abort();
    return 0;
}
