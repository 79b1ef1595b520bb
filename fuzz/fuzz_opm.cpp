// Fuzz target: the OPM bank parser on arbitrary text, into a fresh bank each
// run. Whatever the text, a load ends with one of the two parse results.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "instruments/fminst.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The parser reports bad lines with fprintf on stderr, which libFuzzer
    // also writes to. Have libFuzzer close the program's stderr for us
    // (-close_fd_mask=2); it keeps its own copy for its log and the
    // sanitizer reports. A flag given on the command line still wins.
    static char quiet[] = "-close_fd_mask=2";
    static char* args[256];
    if (*argc <= 0 || *argc >= 255) return 0;
    args[0] = (*argv)[0];
    args[1] = quiet;
    for (int i = 1; i < *argc; ++i) args[i + 1] = (*argv)[i];
    args[*argc + 1] = nullptr;
    *argc += 1;
    *argv = args;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto bank = std::make_unique<FMInst>();
    const int result = bank->LoadText(reinterpret_cast<const char*>(data), size);
    if (result != FMInst::kLoadOk && result != FMInst::kLoadSyntaxError) std::abort();
    return 0;
}
