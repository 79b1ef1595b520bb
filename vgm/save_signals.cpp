#include "vgm/save_signals.h"

#include <pthread.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>

namespace VGM {

namespace {

static_assert(ATOMIC_POINTER_LOCK_FREE == 2, "the signal handler needs lock-free pointers");

constexpr int kCaught[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kCaughtCount = sizeof kCaught / sizeof kCaught[0];

// What the handler reads: the slots of the running save and the dispositions
// it replaced. Written only while no handler is installed.
std::atomic<std::atomic<const char*>*> g_slots{nullptr};
std::size_t g_slot_count = 0;
struct sigaction g_previous[kCaughtCount];
bool g_installed[kCaughtCount] = {};

std::size_t IndexOf(int sig) {
    for (std::size_t i = 0; i < kCaughtCount; ++i) {
        if (kCaught[i] == sig) return i;
    }
    return 0;
}

// Async-signal-safe: unlink, sigaction and raise only.
extern "C" void RemoveTemporariesAndEnd(int sig) {
    const int saved_errno = errno;
    if (std::atomic<const char*>* slots = g_slots.load()) {
        for (std::size_t i = 0; i < g_slot_count; ++i) {
            if (const char* path = slots[i].exchange(nullptr)) unlink(path);
        }
    }
    // The signal is held back while its handler runs: raised again under the
    // earlier disposition, it does what it would have done without the save
    // as soon as this handler returns.
    sigaction(sig, &g_previous[IndexOf(sig)], nullptr);
    raise(sig);
    errno = saved_errno;
}

sigset_t CaughtSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kCaught) sigaddset(&set, sig);
    return set;
}

}  // namespace

SaveSignalGuard::SaveSignalGuard(std::size_t slots) : slots_(new std::atomic<const char*>[slots]) {
    assert(g_slots.load() == nullptr && "one save at a time");
    for (std::size_t i = 0; i < slots; ++i) slots_[i].store(nullptr);
    g_slot_count = slots;
    g_slots.store(slots_.get());

    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &saved_xfsz_);

    struct sigaction catcher = {};
    catcher.sa_handler = RemoveTemporariesAndEnd;
    catcher.sa_mask = CaughtSet();
    for (std::size_t i = 0; i < kCaughtCount; ++i) {
        g_installed[i] = false;
        if (sigaction(kCaught[i], nullptr, &g_previous[i]) != 0) continue;
        // nohup and background jobs ignore some of these on purpose.
        if (!(g_previous[i].sa_flags & SA_SIGINFO) && g_previous[i].sa_handler == SIG_IGN) continue;
        g_installed[i] = sigaction(kCaught[i], &catcher, nullptr) == 0;
    }
}

SaveSignalGuard::~SaveSignalGuard() {
    for (std::size_t i = 0; i < kCaughtCount; ++i) {
        if (g_installed[i]) sigaction(kCaught[i], &g_previous[i], nullptr);
        g_installed[i] = false;
    }
    sigaction(SIGXFSZ, &saved_xfsz_, nullptr);
    g_slots.store(nullptr);
    g_slot_count = 0;
}

void SaveSignalGuard::Remember(std::size_t slot, const char* path) {
    assert(slot < g_slot_count);
    slots_[slot].store(path);
}

SaveSignalGuard::Hold::Hold() {
    const sigset_t set = CaughtSet();
    pthread_sigmask(SIG_BLOCK, &set, &saved_);
}

SaveSignalGuard::Hold::~Hold() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

}  // namespace VGM
