// The signals of a save: while files are being saved, a signal that ends the
// program first removes the temporary files, and a file-size limit turns into
// an ordinary write error instead of ending the program.
#pragma once

#include <signal.h>

#include <atomic>
#include <cstddef>
#include <memory>

namespace VGM {

class SaveSignalGuard {
public:
    // Catches SIGINT, SIGTERM and SIGHUP (each unless the process ignores it)
    // and ignores SIGXFSZ, until the guard goes. Room for `slots` file names.
    // One guard at a time per process.
    explicit SaveSignalGuard(std::size_t slots);
    ~SaveSignalGuard();
    SaveSignalGuard(const SaveSignalGuard&) = delete;
    SaveSignalGuard& operator=(const SaveSignalGuard&) = delete;

    // Names the file in `slot` to remove should one of the signals come; the
    // text must stay unchanged until the slot is forgotten. Null forgets it.
    void Remember(std::size_t slot, const char* path);

    // Holds the three signals back while it lives (they arrive when it goes),
    // so that a step of several system calls is never cut in half.
    class Hold {
    public:
        Hold();
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        sigset_t saved_;
    };

private:
    std::unique_ptr<std::atomic<const char*>[]> slots_;
    struct sigaction saved_xfsz_;
};

}  // namespace VGM
