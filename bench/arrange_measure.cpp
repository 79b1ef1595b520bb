// How much of a real song the arranged conversion lets the listener hear.
//
//   arrange_measure [--bank BANK.opm] [--fmroll-layout | --no-arrange] SONG.mid...
//
// Each song is converted as fmtool convert converts it (arranged and rendered
// straight to the chips; with --fmroll-layout arranged into fmroll's layout
// and converted through the same core as fmroll; with --no-arrange converted
// as it is) and read back from the VGM register writes alone (the chip note
// tracker, and the DAC's sample starts). A melodic note of the source counts as heard when a chip
// key-on lies within one frame of its real start, sounds within 50 cents of
// its pitch (with the channel's bend at the time), lasts a frame or more and
// can be heard; a drum hit when an audible key-on of any chip channel lies
// within one frame of it, or a DAC sample starts there. Each chip note answers for one source note only. Notes at
// volume or expression 0 are silent in the source and not counted. Also
// printed: whether the song is silent, its length against the MIDI file's
// (to the last End of Track), how many notes no arrangement can keep
// because more than nine start in one frame, and how many drum hits meet
// another hit that only the one noise channel can play.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fmtool/arrange/arranger.h"
#include "fmtool/arrange/drum_map.h"
#include "fmtool/render/song_render.h"
#include "instruments/fminst.h"
#include "instruments/gm_bank.h"
#include "sequencer/render_song.h"
#include "smf/smf_file.h"
#include "smf/smf_score.h"
#include "vgm/chip_notes.h"
#include "vgm/vgm_file.h"
#include "vgm/vgm_format.h"
#include "vgm/vgmout.h"

namespace {

constexpr double kSampleRate = VGM::kSampleRate;
constexpr double kFrameSamples = VGM::kSamplesPerFrame;
constexpr unsigned kDrums = 9;
constexpr unsigned kToneVoices = 9;
// The DAC's sample starts, among the chip notes: not a tone channel, and one
// start answers for every hit of its frame, all mixed into its sample.
constexpr std::uint8_t kDacChannel = VGM::kChipNoise + 1;

struct SourceOnset {
    double sample = 0;  // real start, in samples
    double hz = 0;      // 0 for a drum hit
    int key = 0;
};

// The note-ons of the song, with the pitch each should sound at.
void ReadOnsets(const MIDI::Score& score, std::vector<SourceOnset>& melodic, std::vector<SourceOnset>& drums) {
    struct Channel {
        int volume = 100, expression = 127, bend = 0, range = 200, rpn_msb = 127, rpn_lsb = 127;
    } ch[16];
    for (const MIDI::ScoreEvent& e : score.events) {
        if (!e.IsChannel()) continue;
        Channel& c = ch[e.Channel()];
        if (e.Kind() == 0xE0) c.bend = e.Bend();
        if (e.Kind() == 0xB0) {
            if (e.data1 == 7) c.volume = e.data2;
            if (e.data1 == 11) c.expression = e.data2;
            if (e.data1 == 121) c.expression = 127, c.bend = 0, c.rpn_msb = c.rpn_lsb = 127;
            if (e.data1 == 101) c.rpn_msb = e.data2;
            if (e.data1 == 100) c.rpn_lsb = e.data2;
            if (e.data1 == 99 || e.data1 == 98) c.rpn_msb = c.rpn_lsb = 127;
            if (e.data1 == 6 && c.rpn_msb == 0 && c.rpn_lsb == 0) c.range = e.data2 * 100 + c.range % 100;
            if (e.data1 == 38 && c.rpn_msb == 0 && c.rpn_lsb == 0) c.range = c.range / 100 * 100 + std::min(99, int{e.data2});
        }
        if (!e.IsNoteOn() || c.volume == 0 || c.expression == 0) continue;
        SourceOnset o;
        o.sample = e.seconds * kSampleRate;
        o.key = e.data1;
        if (e.Channel() == kDrums) {
            drums.push_back(o);
            continue;
        }
        const double cents = (e.data1 - 69) * 100.0 + c.bend * c.range / 8192.0;
        o.hz = 440.0 * std::pow(2.0, cents / 1200.0);
        melodic.push_back(o);
    }
}

// Matches onsets (by time) to unused chip notes that `fits`; returns the count.
template <typename Fits>
unsigned Match(const std::vector<SourceOnset>& onsets, const std::vector<VGM::ChipNote>& notes, std::vector<bool>& used,
               Fits fits) {
    unsigned heard = 0;
    std::size_t from = 0;
    for (const SourceOnset& o : onsets) {
        while (from < notes.size() && notes[from].on_sample + kFrameSamples < o.sample) ++from;
        for (std::size_t i = from; i < notes.size() && notes[i].on_sample <= o.sample + kFrameSamples; ++i) {
            if (used[i] || std::fabs(notes[i].on_sample - o.sample) > kFrameSamples || !fits(o, notes[i])) continue;
            used[i] = notes[i].channel != kDacChannel;
            ++heard;
            break;
        }
    }
    return heard;
}

// Calls `group` with each run of onsets that start in one frame.
template <typename Group>
void ByFrame(const std::vector<SourceOnset>& onsets, Group group) {
    for (std::size_t i = 0; i < onsets.size();) {
        const auto frame = static_cast<long>(onsets[i].sample / kFrameSamples);
        std::size_t j = i;
        while (j < onsets.size() && static_cast<long>(onsets[j].sample / kFrameSamples) == frame) ++j;
        group(&onsets[i], &onsets[j]);
        i = j;
    }
}

// Notes beyond nine starting in one frame: no arrangement can start them.
unsigned BeyondNineVoices(const std::vector<SourceOnset>& melodic) {
    unsigned lost = 0;
    ByFrame(melodic, [&](const SourceOnset* b, const SourceOnset* e) {
        if (e - b > kToneVoices) lost += static_cast<unsigned>(e - b - kToneVoices);
    });
    return lost;
}

// Hits that meet another hit of the noise channel in their frame: with one
// noise voice, all but one of the drums that have no pitch are lost there.
unsigned NoiseCollisions(const std::vector<SourceOnset>& drums) {
    unsigned lost = 0;
    ByFrame(drums, [&](const SourceOnset* b, const SourceOnset* e) {
        const auto noiseOnly = std::count_if(
            b, e, [](const SourceOnset& o) { return fmtool::DrumSoundOf(o.key).tone == fmtool::ToneDrum::None; });
        if (noiseOnly > 1) lost += static_cast<unsigned>(noiseOnly - 1);
    });
    return lost;
}

// Where the DAC starts a sample (a seek into the PCM bank), as notes that
// are always heard, merged into `notes` by start.
void AddDacStarts(const std::vector<std::uint8_t>& image, std::vector<VGM::ChipNote>& notes) {
    VGM::VgmReader reader;
    if (!reader.OpenMemory(image.data(), image.size())) return;
    VGM::VgmCommand c;
    while (reader.Next(c)) {
        if (c.op() != VGM::kCmdPcmSeek) continue;
        VGM::ChipNote n;
        n.channel = kDacChannel;
        n.on_sample = n.off_sample = c.sample;
        n.audible = true;
        notes.push_back(n);
    }
    std::stable_sort(notes.begin(), notes.end(),
                     [](const VGM::ChipNote& a, const VGM::ChipNote& b) { return a.on_sample < b.on_sample; });
}

struct Totals {
    unsigned songs = 0, notes = 0, heard = 0, hits = 0, hits_heard = 0, silent = 0, wrong_length = 0, beyond = 0,
             collisions = 0;
};

enum class Route { Render, FmrollLayout, AsIs };

bool Measure(const std::string& path, FMInst& bank, Route route, Totals& totals) {
    std::vector<std::uint8_t> data;
    if (MIDI::ReadSmfFile(path.c_str(), data) != MIDI::SmfStatus::Ok) return false;
    MIDI::Score score;
    if (!MIDI::ReadScore(data.data(), data.size(), score)) return false;
    VGMOUT vgm;
    if (route == Route::Render) {
        fmtool::SongPlan plan(bank);
        if (!fmtool::PlanSong(score, fmtool::PlanFor::Chips, plan)) return false;
        fmtool::RenderPlan(plan, bank, vgm);
    } else {
        if (route == Route::FmrollLayout) {
            fmtool::Arrangement arranged;
            if (!fmtool::Arrange(score, bank, "", arranged)) return false;
            data = std::move(arranged.smf);
        }
        std::unique_ptr<MIDI::DMIDI> song = MIDI::ReadSong(data.data(), data.size());
        if (!song) {
            std::fprintf(stderr, "%s: the arranged file is refused\n", path.c_str());
            return false;
        }
        MIDI::RenderSong(song.get(), &bank, &vgm);
    }
    const std::vector<std::uint8_t>& stream = vgm.Stream();
    VGM::ChipNotes chip = VGM::ReadChipNotes(stream.data(), stream.size());
    AddDacStarts(vgm.Image(), chip.notes);

    std::vector<SourceOnset> melodic, drums;
    ReadOnsets(score, melodic, drums);
    std::vector<bool> used(chip.notes.size(), false);
    const unsigned heard = Match(melodic, chip.notes, used, [](const SourceOnset& o, const VGM::ChipNote& n) {
        return n.channel < VGM::kChipNoise && n.audible && n.hz > 0 && n.Samples() >= kFrameSamples &&
               std::fabs(1200 * std::log2(n.hz / o.hz)) <= 50;
    });
    const unsigned hitsHeard = Match(drums, chip.notes, used, [](const SourceOnset&, const VGM::ChipNote& n) {
        return n.audible;
    });
    const bool silent = std::none_of(chip.notes.begin(), chip.notes.end(), [](const VGM::ChipNote& n) { return n.audible; });
    const double lengthFrames = vgm.TotalSamples() / kFrameSamples - score.EndSeconds() * 60;
    const unsigned beyond = BeyondNineVoices(melodic);
    const unsigned collisions = NoiseCollisions(drums);

    const std::string name = path.substr(path.find_last_of('/') + 1);
    std::printf("%-44s %6zu notes %6.1f %%  %5zu hits %6.1f %%  length %+5.2f frames%s", name.c_str(), melodic.size(),
                melodic.empty() ? 100.0 : 100.0 * heard / melodic.size(), drums.size(),
                drums.empty() ? 100.0 : 100.0 * hitsHeard / drums.size(), lengthFrames, silent ? "  SILENT" : "");
    if (beyond) std::printf("  %u notes beyond nine voices", beyond);
    if (collisions) std::printf("  %u hits meet a noise hit", collisions);
    std::printf("\n");
    ++totals.songs;
    totals.notes += static_cast<unsigned>(melodic.size());
    totals.heard += heard;
    totals.hits += static_cast<unsigned>(drums.size());
    totals.hits_heard += hitsHeard;
    totals.silent += silent;
    totals.wrong_length += std::fabs(lengthFrames) > 1;
    totals.beyond += beyond;
    totals.collisions += collisions;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string bankPath;
    Route route = Route::Render;
    std::vector<std::string> songs;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--bank") == 0 && i + 1 < argc) {
            bankPath = argv[++i];
        } else if (std::strcmp(argv[i], "--no-arrange") == 0) {
            route = Route::AsIs;
        } else if (std::strcmp(argv[i], "--fmroll-layout") == 0) {
            route = Route::FmrollLayout;
        } else {
            songs.push_back(argv[i]);
        }
    }
    if (songs.empty()) {
        std::fprintf(stderr, "usage: arrange_measure [--bank BANK.opm] [--fmroll-layout | --no-arrange] SONG.mid...\n");
        return 2;
    }
    auto bank = std::make_unique<FMInst>();
    if (!LoadBankOrBuiltIn(*bank, bankPath).Ok()) return 2;

    Totals t;
    for (const std::string& song : songs) {
        if (!Measure(song, *bank, route, t)) std::printf("%s: not measured\n", song.c_str());
    }
    std::printf("total: %u songs, %u of %u melodic notes heard (%.1f %%), %u of %u drum hits heard (%.1f %%), "
                "%u silent, %u off by more than a frame in length, %u notes beyond nine voices (%.1f %%), "
                "%u hits meeting a noise hit (%.1f %%)\n",
                t.songs, t.heard, t.notes, t.notes ? 100.0 * t.heard / t.notes : 100.0, t.hits_heard, t.hits,
                t.hits ? 100.0 * t.hits_heard / t.hits : 100.0, t.silent, t.wrong_length, t.beyond,
                t.notes ? 100.0 * t.beyond / t.notes : 0.0, t.collisions, t.hits ? 100.0 * t.collisions / t.hits : 0.0);
    return 0;
}
