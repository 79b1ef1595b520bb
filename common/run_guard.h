// Running the work of a command-line program so that memory running out ends
// it with one line and a defined exit status instead of an abort.
#pragma once

#include <iostream>
#include <new>
#include <stdexcept>

constexpr const char* kOutOfMemoryMessage = "Out of memory, abort...";

// Prints "Out of memory, abort..." on standard error.
inline void ReportOutOfMemory() { std::cerr << kOutOfMemoryMessage << std::endl; }

// Runs `work` (which returns nothing) and says whether it ran to its end:
// false when an allocation failed inside it, as RunGuarded understands it.
// For work on a thread of its own, where the failure must not leave it.
template <typename Work>
bool RunOutOfMemorySafe(Work&& work) {
    try {
        work();
        return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return false;
}

// Runs `work`, which returns the program's exit status, and gives that status.
// An allocation that fails inside it (std::bad_alloc, or std::length_error
// from a container asked to grow past its limit) unwinds it, so that every
// owner tidies up (a save in progress removes its temporary files), then
// prints "Out of memory, abort..." and gives -1.
template <typename Work>
int RunGuarded(Work&& work) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    ReportOutOfMemory();
    return -1;
}
