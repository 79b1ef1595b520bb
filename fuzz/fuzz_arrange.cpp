// Fuzz target: arbitrary bytes through fmtool's arranger and the conversion
// of its output. Whatever file the reader accepts, the arranged file must be
// accepted too; each of its notes must start in a frame where the source
// starts a note (or one frame later, when it waited for a channel), never
// earlier, and last a frame; its song must end in the frame of the source's
// last End of Track; and it must render into a VGM image that takes a tag.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "fmtool/arrange/arranger.h"
#include "fmtool/arrange/song_tag.h"
#include "fuzz/fuzz_support.h"
#include "instruments/fminst.h"
#include "instruments/gm_bank.h"
#include "sequencer/render_song.h"
#include "smf/smf_score.h"
#include "vgm/gd3.h"
#include "vgm/vgmout.h"

namespace {

FMInst* bank = nullptr;

// Frame of a real time, allowing for the rounding of the score's seconds.
std::uint64_t FrameNear(double seconds, int nudge) {
    return static_cast<std::uint64_t>(std::max(0.0, std::floor(seconds * 60 + nudge * 1e-6)));
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
    fmtool::Arrangement arranged;
    if (!fmtool::Arrange(score, *bank, "fuzz", arranged)) return 0;  // too long for a VGM file
    std::unique_ptr<MIDI::DMIDI> song = MIDI::ReadSong(arranged.smf.data(), arranged.smf.size());
    if (!song || song->events.empty() || !fuzzsupport::ClocksNeverDecrease(*song)) std::abort();

    // Frames where the source starts a note, within the rounding of seconds.
    const std::uint64_t end = song->events.back().clock;
    const double endSeconds = score.EndSeconds();
    if (end < FrameNear(endSeconds, -1) || end > FrameNear(endSeconds, 1)) std::abort();
    std::vector<bool> starts(end + 2, false);
    for (const MIDI::ScoreEvent& e : score.events) {
        if (!e.IsNoteOn()) continue;
        for (std::uint64_t f = FrameNear(e.seconds, -1); f <= FrameNear(e.seconds, 1) && f <= end; ++f) starts[f] = true;
    }
    std::uint32_t lastOn[16];
    bool sounding[16] = {};
    for (const MIDI::DMIDI_EVENT& e : song->events) {
        if (e.channel > 9 || e.status == 0xF0) continue;
        if (e.status == 0x90 && e.data2 > 0) {
            if (!starts[e.clock] && (e.clock == 0 || !starts[e.clock - 1])) std::abort();
            if (sounding[e.channel] && lastOn[e.channel] == e.clock) std::abort();  // replaced in its frame
            sounding[e.channel] = true;
            lastOn[e.channel] = e.clock;
        } else if (e.status == 0x80 && sounding[e.channel]) {
            if (e.clock == lastOn[e.channel] && e.clock != end) std::abort();  // shorter than a frame
            sounding[e.channel] = false;
        }
    }

    if (end > fuzzsupport::kMaxRenderedFrames) return 0;
    VGMOUT vgm;
    MIDI::RenderSong(song.get(), bank, &vgm);
    std::vector<std::uint8_t> image = vgm.Image();
    if (image.empty() || !VGM::AppendGd3(image, fmtool::SongTag(fmtool::ReadSongTexts(score, "fuzz")))) std::abort();
    return 0;
}
