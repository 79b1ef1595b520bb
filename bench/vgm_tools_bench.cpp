// Benchmarks of fmtool info and fmtool play.
//
// InfoMemory / InfoFile / InfoGzipFile: the whole inspection (reader, checks,
// chip notes) of a generated 100 MB VGM file, from memory, from a plain file
// and from its gzip twin; bytes per second are those of the VGM data.
// Play: the demo song (examples/demo.opm, demo.mid) rendered through the
// player at its full play length (intro, loop twice, fade), timed on the wall
// clock since the player works in a child process; the counter x_realtime is
// seconds of sound per second of rendering.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fmtool/play/audio_render.h"
#include "fmtool/info/vgm_inspect.h"
#include "instruments/fminst.h"
#include "sequencer/render_song.h"
#include "vgm/vgm_format.h"
#include "vgm/vgmout.h"

namespace {

constexpr std::size_t kInfoBytes = 100u << 20;

// A VGM file of `bytes` bytes of busy music: every frame rewrites an FM
// channel's pitch and keys it, touches a total level, plays a square note
// and waits one frame.
const std::vector<std::uint8_t>& BigVgm() {
    static const std::vector<std::uint8_t> image = [] {
        VGMOUT vgm;
        std::uint32_t frame = 0;
        while (vgm.Stream().size() < kInfoBytes - 64) {
            const std::uint32_t ch = frame % 6, port = ch / 3, k = ch % 3;
            vgm.WriteRegOpn2(0, 0x28, ch < 3 ? ch : ch + 1);  // key off
            vgm.WriteRegOpn2(port, 0xA4 + k, 0x20 | (frame % 8));
            vgm.WriteRegOpn2(port, 0xA0 + k, frame & 0xFF);
            vgm.WriteRegOpn2(port, 0x4C + k, frame % 32);
            vgm.WriteRegOpn2(0, 0x28, 0xF0 | (ch < 3 ? ch : ch + 1));
            vgm.WriteRegDcsg(0x80 | ((frame % 3) << 5) | (frame & 0x0F));
            vgm.WriteRegDcsg((frame >> 4) & 0x3F);
            vgm.WriteRegDcsg(0x90 | ((frame % 3) << 5) | ((frame / 7) % 16));
            if (frame == 1000) vgm.SetLoopHere();
            vgm.WriteWait_60();
            ++frame;
        }
        vgm.WriteEndMarker();
        return vgm.Image();
    }();
    return image;
}

std::string WriteTemp(const char* name, const std::vector<std::uint8_t>& bytes, bool gzip) {
    const std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/" + name;
    if (gzip) {
        gzFile f = gzopen(path.c_str(), "wb");
        gzwrite(f, bytes.data(), static_cast<unsigned>(bytes.size()));
        gzclose(f);
    } else {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    return path;
}

void Check(benchmark::State& state, const fmtool::VgmInspection& info) {
    if (!info.Valid()) state.SkipWithError("the generated file is not valid");
}

void InfoMemory(benchmark::State& state) {
    const std::vector<std::uint8_t>& image = BigVgm();
    for (auto _ : state) Check(state, fmtool::InspectVgmMemory(image.data(), image.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}
BENCHMARK(InfoMemory)->Unit(benchmark::kMillisecond);

void InfoFile(benchmark::State& state, bool gzip) {
    const std::vector<std::uint8_t>& image = BigVgm();
    const std::string path = WriteTemp(gzip ? "fmroll_bench.vgz" : "fmroll_bench.vgm", image, gzip);
    for (auto _ : state) Check(state, fmtool::InspectVgmFile(path));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
    std::remove(path.c_str());
}
BENCHMARK_CAPTURE(InfoFile, Plain, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(InfoFile, Gzip, true)->Unit(benchmark::kMillisecond);

void Play(benchmark::State& state) {
    FMInst bank;
    if (bank.Load(FMROLL_SOURCE_DIR "/examples/demo.opm") != FMInst::kLoadOk) return state.SkipWithError("no bank");
    std::ifstream in(FMROLL_SOURCE_DIR "/examples/demo.mid", std::ios::binary);
    const std::vector<std::uint8_t> smf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::unique_ptr<MIDI::DMIDI> song = MIDI::ReadSong(smf.data(), smf.size());
    if (!song) return state.SkipWithError("no song");
    VGMOUT vgm;
    MIDI::RenderSong(song.get(), &bank, &vgm);
    const std::vector<std::uint8_t> image = vgm.Image();
    const fmtool::PlayLength length =
        fmtool::PlanLength(vgm.TotalSamples(), vgm.TotalSamples() - vgm.LoopStartSamples(), vgm.LoopOffset() != 0, -1, -1);
    std::vector<std::int16_t> block(2 * 4096);
    for (auto _ : state) {
        fmtool::GmeRender render;
        std::string error;
        if (!render.Load(image, VGM::kSampleRate, error) || !render.Start(length.samples, error))
            return state.SkipWithError(error.c_str());
        std::size_t got = 0;
        do {
            if (!render.Next(block.data(), 4096, got, error)) return state.SkipWithError(error.c_str());
        } while (got > 0);
    }
    const double seconds = static_cast<double>(length.samples) / VGM::kSampleRate;
    state.counters["x_realtime"] =
        benchmark::Counter(seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(Play)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
