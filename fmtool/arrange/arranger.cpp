#include "fmtool/arrange/arranger.h"

#include <algorithm>

#include "fmtool/arrange/arranged_tracks.h"
#include "fmtool/arrange/drum_map.h"
#include "fmtool/render/drum_kit.h"
#include "fmtool/arrange/gm_programs.h"
#include "fmtool/arrange/noise_channel.h"
#include "fmtool/arrange/note_writer.h"
#include "fmtool/arrange/performance.h"
#include "fmtool/arrange/song_tag.h"
#include "fmtool/arrange/voice_allocator.h"
#include "fmtool/arrange/voice_requests.h"
#include "instruments/fminst.h"
#include "smf/midic.h"
#include "smf/smf_format.h"
#include "smf/smf_score.h"

namespace fmtool {

namespace {

// The conductor track: the titles first, the other texts at their time, then
// the loop points.
void WriteConductor(const MIDI::Score& score, const FrameTimeline& timeline, const SongTexts& texts,
                    const std::vector<Moment>& loop_points, ArrangedTracks& tracks) {
    // The texts keep the file's own bytes: a MIDI player reads them in the
    // encoding their writer used. The titles come first, the only track names
    // of the conductor track, so that the arranged file has the source's
    // title; the names of the source's other tracks name parts and become
    // instrument names.
    const std::vector<std::uint32_t>& titles = texts.title_texts;
    for (const std::uint32_t t : titles) tracks.Text(0, MIDI::kMetaTrackName, score.texts[t]);
    if (titles.empty()) {
        for (const std::string* title : {&texts.title, &texts.title_japanese})
            if (!title->empty()) tracks.Text(0, MIDI::kMetaTrackName, *title);
    }
    for (const MIDI::ScoreEvent& e : score.events) {
        if (!e.IsMeta() || e.data1 < MIDI::kMetaText || e.data1 > MIDI::kMetaLastText ||
            e.payload >= score.texts.size()) {
            continue;
        }
        if (std::find(titles.begin(), titles.end(), e.payload) != titles.end()) continue;
        const std::uint8_t type = e.data1 == MIDI::kMetaTrackName ? MIDI::kMetaInstrumentName : e.data1;
        tracks.Text(timeline.At(e.tick).tick, type, score.texts[e.payload]);
    }
    std::uint64_t last = ~std::uint64_t{0};
    for (const Moment& m : loop_points) {
        if (m.frame == last) continue;
        last = m.frame;
        tracks.LoopPoint(m.frame);
    }
}

// The placed notes and drums, channel by channel.
void WritePlacements(const Performance& perf, const SongRequests& song, const Allocation& alloc, NoteWriter& writer) {
    std::vector<std::uint32_t> byChannel[kToneChannels];
    for (std::uint32_t i = 0; i < alloc.placements.size(); ++i) byChannel[alloc.placements[i].channel].push_back(i);
    for (const std::vector<std::uint32_t>& channel : byChannel) {
        for (std::uint32_t i : channel) {
            const Placement& p = alloc.placements[i];
            const VoiceRequest& r = song.requests[p.request];
            const RequestOrigin& o = song.origins[r.source];
            if (o.drum) {
                writer.ToneDrum(p, r.fm_program, perf.hits[o.index]);
            } else {
                const SourceNote& note = perf.notes[o.index];
                writer.Note(p, r.fm_program, note, perf.changes[note.channel]);
            }
        }
    }
}

// The hits for the noise channel, by start: those that asked for no tone
// channel and those that found none.
std::vector<DrumHit> NoiseHits(const Performance& perf, const SongRequests& song, const Allocation& alloc) {
    std::vector<std::uint32_t> which = song.noise_hits;
    for (std::uint32_t r : alloc.unplaced_drums) which.push_back(song.origins[song.requests[r].source].index);
    std::sort(which.begin(), which.end());
    std::vector<DrumHit> hits;
    hits.reserve(which.size());
    for (std::uint32_t i : which) hits.push_back(perf.hits[i]);
    return hits;
}

}  // namespace

ArrangeSummary Summarise(const SongPlan& plan) {
    const Performance& perf = plan.perf;
    const SongRequests& song = plan.song;
    const Allocation& alloc = plan.alloc;
    const std::vector<DrumHit>& noise_hits = plan.noise_hits;
    const std::vector<NoiseTurn>& turns = plan.turns;
    ArrangeSummary s;
    s.notes = static_cast<unsigned>(perf.notes.size());
    s.hits = static_cast<unsigned>(perf.hits.size());
    s.silent = perf.silent_notes;
    s.dropped[static_cast<int>(LossReason::SongEnd)] = song.too_late;
    for (const Placement& p : alloc.placements) {
        if (song.origins[song.requests[p.request].source].drum) {
            ++s.hits_tone;
            continue;
        }
        ++s.kept;
        s.moved += p.note.octaves != 0;
        s.cut += p.cut;
        s.waited += p.waited;
    }
    for (const Dropped& d : alloc.dropped) {
        const LossReason reason = d.reason == DropReason::Doubled ? LossReason::Doubled : LossReason::NoVoice;
        ++s.dropped[static_cast<int>(reason)][song.requests[d.request].part];
    }
    s.hits_noise = static_cast<unsigned>(turns.size());
    s.hits_dac = static_cast<unsigned>(song.dac_hits.size());
    std::size_t t = 0;
    for (std::uint32_t i = 0; i < noise_hits.size(); ++i) {
        if (t < turns.size() && turns[t].hit == i) {
            ++t;
        } else if (DrumSoundOf(noise_hits[i].key).tone != ToneDrum::None) {
            ++s.hits_toneless;
        }
    }
    s.substitutes = song.substitutes;
    return s;
}

bool PlanSong(const MIDI::Score& score, PlanFor target, SongPlan& plan) {
    const bool dac = target == PlanFor::Chips;
    const FrameTimeline timeline(score);
    plan.perf = ReadPerformance(score, timeline);
    const Performance& perf = plan.perf;
    if (perf.end.frame > MIDI::MIDIC::kMaxEndFrame) return false;
    plan.dac = dac && std::any_of(perf.hits.begin(), perf.hits.end(), [&](const DrumHit& h) {
                   return DacDrum(h.key) && h.start.frame < perf.end.frame;
               });
    plan.song = BuildRequests(perf, plan.voices, plan.dac);
    plan.alloc = AllocateVoices(plan.song.requests, plan.dac ? kFmChannels - 1 : kFmChannels);
    plan.noise_hits = NoiseHits(perf, plan.song, plan.alloc);
    plan.turns = NoiseTurns(plan.noise_hits, perf.end.frame);
    plan.gain = SongGain(perf);
    return true;
}

bool Arrange(const MIDI::Score& score, const FMInst& bank, const std::string& fallback_title, Arrangement& out) {
    SongPlan plan(bank);
    if (!PlanSong(score, PlanFor::FmrollLayout, plan)) return false;
    const Performance& perf = plan.perf;

    ArrangedTracks tracks;
    WriteConductor(score, FrameTimeline(score), ReadSongTexts(score, fallback_title), perf.loop_points, tracks);
    NoteWriter writer(tracks, plan.voices, plan.gain);
    WritePlacements(perf, plan.song, plan.alloc, writer);
    for (const NoiseTurn& t : plan.turns) writer.NoiseHit(plan.noise_hits[t.hit], t.stop);

    out.summary = Summarise(plan);
    out.smf = tracks.Finish(perf.end.tick);
    return true;
}

}  // namespace fmtool
