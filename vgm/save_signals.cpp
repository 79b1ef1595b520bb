#include "vgm/save_signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cassert>
#include <cerrno>
#include <mutex>

namespace VGM {

namespace {

static_assert(ATOMIC_POINTER_LOCK_FREE == 2, "the signal handler needs lock-free pointers");
static_assert(ATOMIC_BOOL_LOCK_FREE == 2, "the signal handler needs a lock-free flag");

constexpr int kCaught[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kCaughtCount = sizeof kCaught / sizeof kCaught[0];
// Temporaries alive at once in the whole process: far more than the saves
// of every worker thread together ever hold.
constexpr int kMaxTemporaries = 256;

// The list of temporaries. Changed only by a Step, which holds g_list_lock;
// the handler takes the same lock before it reads the list.
std::atomic<const char*> g_temporaries[kMaxTemporaries];
std::atomic_flag g_list_lock = ATOMIC_FLAG_INIT;
// Set by the handler before it takes the lock: no temporary is created after.
std::atomic<bool> g_ending{false};

// The dispositions the guards replaced. Written only while no handler of
// ours is installed, under g_install, which counts the living guards.
std::mutex g_install;
int g_guards = 0;
struct sigaction g_previous[kCaughtCount];
bool g_installed[kCaughtCount] = {};
struct sigaction g_previous_xfsz;

std::size_t IndexOf(int sig) {
    for (std::size_t i = 0; i < kCaughtCount; ++i) {
        if (kCaught[i] == sig) return i;
    }
    return 0;
}

void LockList(bool in_handler) {
    while (g_list_lock.test_and_set(std::memory_order_acquire)) {
        // A step in progress on another thread ends after a few system calls.
        if (!in_handler) sched_yield();
    }
}

void UnlockList() { g_list_lock.clear(std::memory_order_release); }

// Async-signal-safe: atomics, unlink, sigaction and raise only. It never runs
// on a thread inside a Step (the signals are held back there), so the lock it
// waits for is always released.
extern "C" void RemoveTemporariesAndEnd(int sig) {
    const int saved_errno = errno;
    g_ending.store(true);
    LockList(true);
    for (std::atomic<const char*>& slot : g_temporaries) {
        if (const char* path = slot.exchange(nullptr)) unlink(path);
    }
    UnlockList();
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

SaveSignalGuard::SaveSignalGuard() {
    std::lock_guard<std::mutex> lock(g_install);
    if (g_guards++ > 0) return;
    // No save is running: a handler that ran before under a disposition that
    // did not end the program is over.
    g_ending.store(false);

    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &g_previous_xfsz);

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
    std::lock_guard<std::mutex> lock(g_install);
    if (--g_guards > 0) return;
    for (std::size_t i = 0; i < kCaughtCount; ++i) {
        if (g_installed[i]) sigaction(kCaught[i], &g_previous[i], nullptr);
        g_installed[i] = false;
    }
    sigaction(SIGXFSZ, &g_previous_xfsz, nullptr);
}

SaveSignalGuard::Step::Step() {
    const sigset_t set = CaughtSet();
    pthread_sigmask(SIG_BLOCK, &set, &saved_);
    LockList(false);
}

SaveSignalGuard::Step::~Step() {
    UnlockList();
    pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

bool SaveSignalGuard::Step::Ending() const { return g_ending.load(); }

int SaveSignalGuard::CreateTemporary(const Step& step, const char* path, mode_t mode, int& slot) {
    if (step.Ending()) {
        errno = EINTR;
        return -1;
    }
    slot = 0;
    while (slot < kMaxTemporaries && g_temporaries[slot].load() != nullptr) ++slot;
    if (slot == kMaxTemporaries) {
        errno = EMFILE;
        return -1;
    }
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) g_temporaries[slot].store(path);
    return fd;
}

bool SaveSignalGuard::Forget(const Step&, int slot) {
    assert(slot >= 0 && slot < kMaxTemporaries);
    return g_temporaries[slot].exchange(nullptr) != nullptr;
}

}  // namespace VGM
