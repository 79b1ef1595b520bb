// Fuzz target: the VGM reader of `fmtool info`, its checks, its text report,
// the chip note tracking and the piano roll, on arbitrary bytes as they are and wrapped in
// gzip (an input that is gzip already is read once, as it is). Besides the
// sanitizers' checks it holds both readings to agreeing: the compressed file
// says the same as the plain one.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "fmtool/info/info_report.h"
#include "fmtool/info/piano_roll.h"
#include "fmtool/info/vgm_inspect.h"
#include "text/text_clean.h"
#include "text/utf8.h"

namespace {

std::vector<std::uint8_t> Gzip(const std::uint8_t* data, std::size_t size) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
    std::vector<std::uint8_t> out(deflateBound(&z, size) + 64);
    z.next_in = const_cast<std::uint8_t*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<VGM::ChipNote> notes;
    const fmtool::VgmInspection plain = fmtool::InspectVgmMemory(data, size, &notes);
    // A compressed input is read as it is: wrapped once more it is no VGM file.
    if (plain.gzip) return 0;
    const std::vector<std::uint8_t> packed = Gzip(data, size);
    const fmtool::VgmInspection gz = fmtool::InspectVgmMemory(packed.data(), packed.size());
    if (plain.readable != gz.readable || plain.problems != gz.problems || plain.wait_samples != gz.wait_samples)
        std::abort();
    if (!plain.readable) return 0;
    if (plain.file_size != size || !gz.gzip) std::abort();

    std::uint64_t keyOns = 0;
    for (unsigned ch = 0; ch < VGM::kChipChannels; ++ch) {
        if (plain.channels[ch].key_ons != gz.channels[ch].key_ons) std::abort();
        keyOns += plain.channels[ch].key_ons;
    }
    if (keyOns != notes.size() + plain.notes_left_out) std::abort();

    // The text report never passes on a control character of the tag.
    std::ostringstream report;
    fmtool::WriteInfoText(report, "fuzz.vgm", plain);
    const std::string shown = report.str();
    for (std::size_t i = 0; i < shown.size();) {
        const char32_t cp = Text::NextUtf8(shown, i);
        if (cp != '\n' && (Text::IsControl(cp) || Text::IsLayoutControl(cp))) std::abort();
    }

    fmtool::PianoRoll roll;
    roll.title = plain.gd3[VGM::kGd3TrackName];
    roll.seconds = static_cast<double>(plain.wait_samples) / 44100;
    roll.chip = fmtool::RollNotesOf(notes);
    if (fmtool::RenderPianoRoll(roll).empty()) std::abort();
    return 0;
}
