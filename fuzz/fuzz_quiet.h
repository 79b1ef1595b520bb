// Keeps the fuzz targets' console output out of the fuzzer's log. The program
// prints a progress line per MIDI file and a message per bad bank line, which
// would flood the log and slow every run down.
#pragma once

#include <iostream>
#include <streambuf>

namespace fuzzsupport {

// A stream buffer that accepts and drops everything.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Sends std::cout and std::cerr nowhere for the rest of the process. The
// sanitizers and libFuzzer write through their own channels and stay visible.
inline void SilenceStandardStreams() {
    static NullBuffer sink;
    std::cout.rdbuf(&sink);
    std::cerr.rdbuf(&sink);
}

}  // namespace fuzzsupport
