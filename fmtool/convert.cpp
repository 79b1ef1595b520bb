// fmtool convert [--bank BANK.opm] SONG.mid... [-o OUT.vgz|OUT.vgm]
// [--no-arrange] [-j N]: from MIDI files to finished VGM files in one step.
// Each song is arranged (unless --no-arrange), converted through the same
// core as fmroll, tagged (GD3) and saved beside it as song.vgz; a song that
// fails is reported with its message and the others go on.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/run_guard.h"
#include "fmtool/commands.h"
#include "fmtool/convert/progress.h"
#include "fmtool/convert/song_convert.h"
#include "instruments/fminst.h"
#include "fmtool/voices/bank_input.h"
#include "instruments/gm_bank.h"

namespace fmtool {

namespace {

constexpr unsigned kMaxJobs = 64;

struct ConvertOptions {
    std::vector<std::string> songs;
    std::string output;
    std::string bank;
    bool no_arrange = false;
    unsigned jobs = 1;
};

std::string SuccessLine(const ConvertJob& job, const ConvertResult& r) {
    std::string line = job.song + " -> " + job.output;
    if (!r.arranged) return line;
    const ArrangeSummary& s = r.summary;
    line += ": " + std::to_string(s.kept) + " of " + std::to_string(s.notes) + " notes";
    if (s.hits) line += ", " + std::to_string(s.HitsKept()) + " of " + std::to_string(s.hits) + " drum hits";
    return line;
}

int RunConvert(const ConvertOptions& options) {
    if (!options.output.empty() && options.songs.size() > 1) {
        std::cerr << "fmtool convert: -o names the output of one song; " << options.songs.size()
                  << " songs were given" << std::endl;
        return kUnreadable;
    }
    auto bank = std::make_unique<FMInst>();
    if (!options.bank.empty()) {
        if (!LoadCommandBank(*bank, options.bank)) return kUnreadable;
    } else if (LoadGmBank(*bank) != FMInst::kLoadOk) {
        std::cerr << "fmtool convert: the built-in bank does not load" << std::endl;
        return kUnreadable;
    }

    std::vector<ConvertJob> jobs;
    for (const std::string& song : options.songs) {
        ConvertJob job;
        job.song = song;
        job.output = options.output.empty() ? OutputFor(song) : options.output;
        job.gzip = !IsPlainVgm(job.output);
        job.arrange = !options.no_arrange;
        jobs.push_back(job);
    }

    Progress progress(stderr, jobs.size());
    std::vector<int> status(jobs.size(), kConverted);
    // Two songs that would write the same file: only the first does.
    std::map<std::string, std::size_t> firstWriter;
    std::vector<bool> skip(jobs.size(), false);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        auto [it, fresh] = firstWriter.emplace(jobs[i].output, i);
        if (fresh) continue;
        skip[i] = true;
        status[i] = kNotWritten;
        progress.Done(jobs[i].song + ": " + jobs[i].output + " is already written for " + jobs[it->second].song);
    }

    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i; (i = next++) < jobs.size();) {
            if (skip[i]) continue;
            // Memory that runs out fails this song alone; the others go on.
            ConvertResult r;
            if (!RunOutOfMemorySafe([&] { r = ConvertSong(jobs[i], *bank); })) {
                r = ConvertResult();
                r.status = kNotWritten;
                r.message = kOutOfMemoryMessage;
            }
            status[i] = r.status;
            progress.Done(r.status == kConverted ? SuccessLine(jobs[i], r) : jobs[i].song + ": " + r.message);
        }
    };
    const unsigned threads = std::min<unsigned>(options.jobs, static_cast<unsigned>(jobs.size()));
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool) t.join();
    progress.Finish();
    return *std::max_element(status.begin(), status.end());
}

}  // namespace

void AddConvertCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* cmd = app.add_subcommand(
        "convert",
        "Turn MIDI files into VGM files for the Mega Drive / Genesis sound chips in one step: each song is arranged "
        "for the chips (as fmtool arrange does), converted as fmroll converts, tagged with its title and author, "
        "and saved beside it as SONG.vgz. Exit status 0: all converted; 1: an output cannot be written; 2: an "
        "input cannot be read");
    cmd->add_option("SONG.mid", options->songs, "The MIDI files to convert")->required();
    cmd->add_option("-o,--output", options->output,
                    "The output file of a single song; a name ending in .vgm is written uncompressed");
    cmd->add_option("--bank", options->bank, "The FM bank to play the songs with (default: the built-in bank)");
    cmd->add_flag("--no-arrange", options->no_arrange,
                  "Convert the songs as they are, exactly as fmroll would (fmroll's layout expected)");
    cmd->add_option("-j,--jobs", options->jobs, "Songs converted at once")->check(CLI::Range(1u, kMaxJobs));
    cmd->callback([options, &status] { status = RunConvert(*options); });
}

}  // namespace fmtool
