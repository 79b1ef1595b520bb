#include "fmtool/arrange/voice_requests.h"

#include <algorithm>

#include "fmtool/arrange/drum_map.h"
#include "fmtool/render/drum_kit.h"

namespace fmtool {

namespace {

class RequestBuilder {
public:
    RequestBuilder(const Performance& perf, const ProgramVoices& voices, bool dac)
        : perf_(perf), voices_(voices), end_(perf.end.frame), dac_(dac) {}

    SongRequests Run() && {
        std::size_t n = 0, h = 0;
        while (n < perf_.notes.size() || h < perf_.hits.size()) {
            const bool takeNote = h == perf_.hits.size() ||
                                  (n < perf_.notes.size() && perf_.notes[n].start.frame <= perf_.hits[h].start.frame);
            if (takeNote) {
                AddNote(static_cast<std::uint32_t>(n++));
            } else {
                AddHit(static_cast<std::uint32_t>(h++));
            }
        }
        return std::move(out_);
    }

private:
    void AddNote(std::uint32_t i) {
        const SourceNote& note = perf_.notes[i];
        if (note.start.frame >= end_) {
            ++out_.too_late[note.channel];
            return;
        }
        VoiceRequest r;
        r.part = note.channel;
        r.decaying = Decaying(note.program);
        r.prefers_square = PrefersSquare(note.program);
        r.fm_program = voices_.For(note.program);
        if (r.fm_program >= 0 && r.fm_program != note.program && !noted_[note.program]) {
            noted_[note.program] = true;
            out_.substitutes.emplace_back(note.program, r.fm_program);
        }
        r.pitch = note.key;
        r.level_db = note.LevelDb();
        r.start = note.start.frame;
        r.end = std::min(end_, std::max(note.end.frame, note.start.frame + 1));
        Add(r, RequestOrigin{false, i});
    }

    void AddHit(std::uint32_t i) {
        const DrumHit& hit = perf_.hits[i];
        const DrumSound& sound = DrumSoundOf(hit.key);
        if (dac_ && DacDrum(hit.key)) {
            if (hit.start.frame < end_) out_.dac_hits.push_back(i);
            return;
        }
        if (sound.tone == ToneDrum::None || hit.start.frame + 1 >= end_) {
            out_.noise_hits.push_back(i);
            return;
        }
        VoiceRequest r;
        r.part = static_cast<std::uint8_t>(kDrumChannel);
        r.drum = true;
        r.fm_program = sound.tone == ToneDrum::Skin ? voices_.FirstAudible(FmDrumProgramsFor(hit.key).programs) : -1;
        r.prefers_square = r.fm_program < 0;
        r.pitch = ToneDrumPitch(hit.key);
        r.level_db = hit.level_db;
        r.start = hit.start.frame;
        r.end = std::min<std::uint64_t>(end_, r.start + sound.tone_frames);
        Add(r, RequestOrigin{true, i});
    }

    void Add(VoiceRequest r, RequestOrigin origin) {
        r.source = static_cast<std::uint32_t>(out_.origins.size());
        out_.origins.push_back(origin);
        out_.requests.push_back(r);
    }

    const Performance& perf_;
    const ProgramVoices& voices_;
    const std::uint64_t end_;
    const bool dac_;
    bool noted_[kGmPrograms] = {};
    SongRequests out_;
};

}  // namespace

SongRequests BuildRequests(const Performance& perf, const ProgramVoices& voices, bool dac) {
    return RequestBuilder(perf, voices, dac).Run();
}

}  // namespace fmtool
