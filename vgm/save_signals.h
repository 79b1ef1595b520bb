// The signals of a save: while files are being saved, a signal that ends the
// program first removes the temporary files, and a file-size limit turns into
// an ordinary write error instead of ending the program.
//
// Saves may run on several threads at once. The temporaries of all of them
// are kept in one process-wide list, which the signal handler reads; every
// change to it (a temporary created, renamed into place or removed) is a Step
// that the handler never sees half done, on whichever thread it runs: the
// handler waits for a step in progress to end, and once it has begun no new
// temporary can be created. So a temporary either is removed by the handler
// or never exists.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <cstddef>

namespace VGM {

class SaveSignalGuard {
public:
    // Catches SIGINT, SIGTERM and SIGHUP (each unless the process ignores it)
    // and ignores SIGXFSZ until the last guard of the process goes.
    SaveSignalGuard();
    ~SaveSignalGuard();
    SaveSignalGuard(const SaveSignalGuard&) = delete;
    SaveSignalGuard& operator=(const SaveSignalGuard&) = delete;

    // While it lives, the three signals are held back on this thread (they
    // arrive when it goes) and a handler on another thread waits for it, so
    // that a step of several system calls is never cut in half. Keep it
    // short: other threads' steps wait for it too. Steps do not nest.
    class Step {
    public:
        Step();
        ~Step();
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;

        // True once a signal has begun to end the program: the step then
        // changes nothing, as the handler may have finished its clean-up
        // before the step began.
        bool Ending() const;

    private:
        sigset_t saved_;
    };

    // Creates the new file `path` (it must not exist) with `mode` and puts it
    // on the list of temporaries in the same step. Gives its descriptor and
    // its place on the list in `slot`, or -1 with errno set (EINTR once a
    // signal has begun to end the program). `path` must stay unchanged
    // until the slot is forgotten.
    int CreateTemporary(const Step& step, const char* path, mode_t mode, int& slot);
    // Takes a temporary off the list (it was renamed into place, or is to be
    // removed). False when a signal handler has removed it already.
    bool Forget(const Step& step, int slot);
};

}  // namespace VGM
