// Micro-benchmarks of each stage of a conversion, on the benchmark song and
// the 128-voice benchmark bank. The inputs are read from the directory named
// by FMROLL_BENCH_DIR, or else from the one the build generated them into
// (bench.mid and bench.opm).
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "instruments/fminst.h"
#include "smf/midic.h"
#include "sequencer/render_song.h"
#include "vgm/vgmout.h"

namespace {

constexpr unsigned kResolution = 48;
constexpr unsigned kFramesPerSecond = 60;

std::string InputPath(const char* name) {
    const char* dir = std::getenv("FMROLL_BENCH_DIR");
    return std::string(dir && *dir ? dir : FMROLL_BENCH_INPUTS) + "/" + name;
}

std::vector<std::uint8_t> Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The reader announces itself on standard output at every call; that line
// is kept out of the benchmark's report.
class QuietStdout {
public:
    QuietStdout() : saved_(std::cout.rdbuf(sink_.rdbuf())) {}
    ~QuietStdout() { std::cout.rdbuf(saved_); }

private:
    std::ostringstream sink_;
    std::streambuf* saved_;
};

// Everything the stages need, built once: the inputs, the bank, the song in
// ticks and in frames, and the rendered writer.
struct Fixture {
    std::vector<std::uint8_t> midi;
    std::string bankText;
    FMInst bank;
    std::unique_ptr<MIDI::DMIDI> ticks;
    std::unique_ptr<MIDI::DMIDI> frames;
    std::unique_ptr<VGMOUT> rendered;
    bool ok = false;
};

const Fixture& Inputs() {
    static Fixture* f = [] {
        auto* fx = new Fixture;
        fx->midi = Slurp(InputPath("bench.mid"));
        const std::vector<std::uint8_t> bank = Slurp(InputPath("bench.opm"));
        fx->bankText.assign(bank.begin(), bank.end());
        if (fx->midi.empty() || fx->bankText.empty() ||
            fx->bank.LoadText(fx->bankText.data(), fx->bankText.size()) != 0) {
            std::cerr << "benchmark inputs missing or unreadable in " << InputPath("") << "\n";
            return fx;
        }
        QuietStdout quiet;
        MIDI::MIDIC reader;
        fx->ticks = reader.read_smf(fx->midi.data(), fx->midi.size(), kResolution);
        if (!fx->ticks) return fx;
        fx->frames = std::make_unique<MIDI::DMIDI>(*fx->ticks);
        if (!reader.convert_clock_to_frame(fx->frames.get(), kFramesPerSecond)) return fx;
        fx->rendered = std::make_unique<VGMOUT>();
        MIDI::RenderSong(fx->frames.get(), &fx->bank, fx->rendered.get());
        fx->ok = true;
        return fx;
    }();
    return *f;
}

// Skips the benchmark with a message when the inputs could not be prepared.
bool Ready(benchmark::State& state) {
    if (Inputs().ok) return true;
    state.SkipWithError("benchmark inputs missing: run the build, or set FMROLL_BENCH_DIR");
    return false;
}

// Runs the body in a scratch directory, since Save writes to the current one.
class ScratchDir {
public:
    ScratchDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "fmroll-bench-XXXXXX").string();
        if (mkdtemp(tmpl.data())) path_ = tmpl;
        old_ = std::filesystem::current_path();
        if (!path_.empty()) std::filesystem::current_path(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    bool ok() const { return !path_.empty(); }

private:
    std::string path_;
    std::filesystem::path old_;
};

void SetBytes(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void BM_LoadBank(benchmark::State& state) {
    if (!Ready(state)) return;
    const std::string& text = Inputs().bankText;
    auto bank = std::make_unique<FMInst>();
    for (auto _ : state) benchmark::DoNotOptimize(bank->LoadText(text.data(), text.size()));
    SetBytes(state, text.size());
}
BENCHMARK(BM_LoadBank)->Unit(benchmark::kMillisecond);

void BM_ReadSmf(benchmark::State& state) {
    if (!Ready(state)) return;
    const std::vector<std::uint8_t>& midi = Inputs().midi;
    QuietStdout quiet;
    for (auto _ : state) {
        MIDI::MIDIC reader;
        auto song = reader.read_smf(midi.data(), midi.size(), kResolution);
        benchmark::DoNotOptimize(song.get());
    }
    SetBytes(state, midi.size());
    state.counters["events"] = static_cast<double>(Inputs().ticks->events.size());
}
BENCHMARK(BM_ReadSmf)->Unit(benchmark::kMillisecond);

void BM_ClockToFrame(benchmark::State& state) {
    if (!Ready(state)) return;
    QuietStdout quiet;
    for (auto _ : state) {
        state.PauseTiming();
        MIDI::DMIDI song = *Inputs().ticks;  // the conversion rewrites the song in place
        state.ResumeTiming();
        MIDI::MIDIC reader;
        benchmark::DoNotOptimize(reader.convert_clock_to_frame(&song, kFramesPerSecond));
    }
}
BENCHMARK(BM_ClockToFrame)->Unit(benchmark::kMillisecond);

void BM_Render(benchmark::State& state) {
    if (!Ready(state)) return;
    Fixture& fx = const_cast<Fixture&>(Inputs());
    for (auto _ : state) {
        VGMOUT vgm;
        MIDI::RenderSong(fx.frames.get(), &fx.bank, &vgm);
        benchmark::DoNotOptimize(vgm.Stream().data());
    }
    SetBytes(state, fx.rendered->Stream().size());
}
BENCHMARK(BM_Render)->Unit(benchmark::kMillisecond);

// The file image in memory: header and stream copied into one buffer.
void BM_Image(benchmark::State& state) {
    if (!Ready(state)) return;
    for (auto _ : state) benchmark::DoNotOptimize(Inputs().rendered->Image().data());
    SetBytes(state, Inputs().rendered->Stream().size());
}
BENCHMARK(BM_Image)->Unit(benchmark::kMillisecond);

// The plain file alone, written the way Save writes it.
void BM_WritePlain(benchmark::State& state) {
    if (!Ready(state)) return;
    ScratchDir dir;
    for (auto _ : state) {
        const std::vector<std::uint8_t> image = Inputs().rendered->Image();
        std::FILE* f = std::fopen("plain.vgm", "wb");
        if (!f) {
            state.SkipWithError("cannot write in the scratch directory");
            break;
        }
        std::fwrite(image.data(), 1, image.size(), f);
        std::fclose(f);
    }
    SetBytes(state, Inputs().rendered->Stream().size());
}
BENCHMARK(BM_WritePlain)->Unit(benchmark::kMillisecond);

// The compressed file alone at a given zlib level (6 is zlib's default and
// gzip's), through the same gzip file interface as Save.
void BM_WriteGzip(benchmark::State& state) {
    if (!Ready(state)) return;
    ScratchDir dir;
    const std::string mode = "wb" + std::to_string(state.range(0));
    for (auto _ : state) {
        const std::vector<std::uint8_t> image = Inputs().rendered->Image();
        gzFile gz = gzopen("plain.vgz", mode.c_str());
        if (!gz) {
            state.SkipWithError("cannot write in the scratch directory");
            break;
        }
        gzwrite(gz, image.data(), static_cast<unsigned>(image.size()));
        gzclose(gz);
    }
    SetBytes(state, Inputs().rendered->Stream().size());
}
BENCHMARK(BM_WriteGzip)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond);

// Save itself: both files, under temporary names, flushed to the disk and
// renamed into place.
void BM_Save(benchmark::State& state) {
    if (!Ready(state)) return;
    ScratchDir dir;
    if (!dir.ok()) {
        state.SkipWithError("no scratch directory");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(Inputs().rendered->Save("test"));
    SetBytes(state, Inputs().rendered->Stream().size());
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

}  // namespace
