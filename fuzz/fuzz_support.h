// Helpers shared by the fuzz targets: silencing the console, and the checks
// they hold every converted song to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <iostream>
#include <streambuf>

#include "instruments/fminst.h"
#include "instruments/gm_bank.h"
#include "smf/dmidi.h"

namespace fuzzsupport {

// Songs longer than this many frames (about five and a half minutes) are
// read and checked but not rendered: the render writes one wait per frame,
// so a single long silent note would otherwise eat the time of thousands of
// runs. The reader already refuses anything the header's 32-bit sample count
// cannot hold.
constexpr std::uint32_t kMaxRenderedFrames = 20000;

// A stream buffer that accepts and drops everything.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// The program prints a progress line per MIDI file and a message per bad bank
// line, which would flood the fuzzer's log and slow every run down.
// Sends std::cout and std::cerr nowhere for the rest of the process. The
// sanitizers and libFuzzer write through their own channels and stay visible.
inline void SilenceStandardStreams() {
    static NullBuffer sink;
    std::cout.rdbuf(&sink);
    std::cerr.rdbuf(&sink);
}

// The built-in General MIDI bank for the targets that play songs as fmtool
// does, loaded once for the whole run (a target that uses it links the bank).
inline FMInst* LoadedGmBank() {
    static FMInst* bank = [] {
        auto* b = new FMInst;
        if (LoadGmBank(*b) != FMInst::kLoadOk) std::abort();
        return b;
    }();
    return bank;
}

// A bank loaded from a text the target is built with, kept for the whole
// run. A text that does not load is a fault of the target itself.
inline FMInst* LoadFixedBank(const char* text) {
    static FMInst bank;
    if (bank.LoadText(text, std::char_traits<char>::length(text)) != FMInst::kLoadOk) std::abort();
    return &bank;
}

// Clocks (ticks or frames) must never decrease along the event list.
inline bool ClocksNeverDecrease(const MIDI::DMIDI& song) {
    for (std::size_t i = 1; i < song.events.size(); ++i) {
        if (song.events[i].clock < song.events[i - 1].clock) return false;
    }
    return true;
}

}  // namespace fuzzsupport
