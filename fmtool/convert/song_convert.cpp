#include "fmtool/convert/song_convert.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "fmtool/arrange/song_tag.h"
#include "fmtool/command_line.h"
#include "fmtool/render/song_render.h"
#include "instruments/fminst.h"
#include "sequencer/render_song.h"
#include "smf/smf_score.h"
#include "vgm/gd3.h"
#include "vgm/vgm_save.h"
#include "vgm/vgmout.h"

namespace fmtool {

namespace {

constexpr int kGzipWindow = 15 + 16;  // deflate window of 2^15, gzip wrapping
constexpr int kGzipMemLevel = 8;

// One gzip member at zlib's default level, as the gzip file interface writes it.
bool Gzip(const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& out) {
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindow, kGzipMemLevel, Z_DEFAULT_STRATEGY) != Z_OK) {
        return false;
    }
    out.resize(deflateBound(&z, static_cast<uLong>(in.size())) + 32);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int r = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return r == Z_STREAM_END;
}

}  // namespace

std::string OutputFor(const std::string& song) {
    const std::size_t slash = song.find_last_of('/');
    const std::size_t dot = song.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? song.substr(0, dot) : song) + ".vgz";
}

bool IsPlainVgm(const std::string& output) {
    if (output.size() < 4) return false;
    std::string ext = output.substr(output.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".vgm";
}

std::vector<std::uint8_t> BuildVgm(const ConvertJob& job, FMInst& bank, ConvertResult& result) {
    MIDI::Score score;
    std::unique_ptr<MIDI::DMIDI> song;
    const MIDI::SmfStatus read = MIDI::ReadScoreFile(job.song.c_str(), score, &song);
    if (read != MIDI::SmfStatus::Ok) {
        result.message = ReaderVerdict(job.song, MIDI::SmfMessage(read), MIDI::IsFileError(read));
        result.status = kUnreadable;
        return {};
    }
    const SongTexts texts = ReadSongTexts(score, FileStem(job.song));
    std::vector<std::uint8_t> image;
    if (job.arrange && !job.fmroll_layout) {
        SongPlan plan(bank);
        if (!PlanSong(score, PlanFor::Chips, plan)) {
            result.status = kUnreadable;
            result.message = "too long for a VGM file";
            return {};
        }
        result.arranged = true;
        result.summary = Summarise(plan);
        score = MIDI::Score();
        song.reset();
        VGMOUT vgm;
        RenderPlan(plan, bank, vgm);
        image = vgm.Image();
    } else {
        if (job.arrange) {
            Arrangement arranged;
            if (!Arrange(score, bank, texts.title, arranged)) {
                result.status = kUnreadable;
                result.message = "too long for a VGM file";
                return {};
            }
            result.arranged = true;
            result.summary = arranged.summary;
            score = MIDI::Score();
            // Read back exactly as fmroll reads the arranged file; it is always accepted.
            song = MIDI::ReadSong(arranged.smf.data(), arranged.smf.size());
            if (!song) {
                result.status = kUnreadable;
                result.message = "the arranged file is refused by the reader";
                return {};
            }
        }
        VGMOUT vgm;
        MIDI::RenderSong(song.get(), &bank, &vgm);
        song.reset();
        image = vgm.Image();
    }
    if (image.empty() || !VGM::AppendGd3(image, SongTag(texts))) {
        result.status = kNotWritten;
        result.message = VGM::SaveMessage(VGM::SaveResult::TooLarge);
        return {};
    }
    return image;
}

ConvertResult ConvertSong(const ConvertJob& job, FMInst& bank) {
    ConvertResult result;
    std::vector<std::uint8_t> image = BuildVgm(job, bank, result);
    if (image.empty()) return result;
    if (job.gzip) {
        std::vector<std::uint8_t> packed;
        if (!Gzip(image, packed)) {
            result.status = kNotWritten;
            result.message = "cannot compress " + job.output;
            return result;
        }
        image.swap(packed);
    }
    int reason = 0;
    const VGM::SaveResult saved = VGM::SaveImage(image, {{job.output, false}}, &reason);
    if (saved != VGM::SaveResult::Ok) {
        result.status = kNotWritten;
        result.message = saved == VGM::SaveResult::TooLarge ? VGM::SaveMessage(saved) : CannotWrite(job.output, reason);
    }
    return result;
}

}  // namespace fmtool
