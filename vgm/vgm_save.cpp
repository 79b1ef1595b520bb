#include "vgm/vgm_save.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <utility>

#include "common/fd_io.h"
#include "vgm/save_signals.h"
#include "vgm/vgm_format.h"

namespace VGM {

namespace {

// gzwrite takes an int-sized length; larger images go in slices of this size.
constexpr std::size_t kGzSlice = std::size_t{1} << 30;
// Links followed at most from a target name to its file, as the system does.
constexpr int kMaxLinkHops = 40;
// Fresh names tried for a temporary before giving up.
constexpr int kNameAttempts = 100;

enum class Backup { None, Linked, Moved };

// One target on its way: where its bytes go and what the replace step did.
struct Entry {
    const SaveTarget* target = nullptr;
    std::string file;    // the file to replace, links followed
    std::string dir;     // its directory
    bool direct = false;  // a device or pipe, written in place
    bool existed = false;
    mode_t mode = 0;      // permission bits of the earlier file
    std::string temp;     // the new bytes until renamed; empty when none
    int slot = -1;        // the temporary's place on the signal guard's list
    std::string backup;   // a second name for the earlier file during the replace
    Backup kept = Backup::None;
    bool replaced = false;
};

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows symbolic links from `path` to the name of the file itself, which
// need not exist yet (a link may point to a file still to be created).
bool FollowLinks(std::string path, std::string& file) {
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            file = std::move(path);
            return true;
        }
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
        const ssize_t n = readlink(path.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<std::size_t>(n) >= target.size()) return false;
        target.resize(static_cast<std::size_t>(n));
        if (target.empty()) return false;
        path = target[0] == '/' || path.find('/') == std::string::npos ? target : DirectoryOf(path) + "/" + target;
    }
    return false;
}

// Works out where the target's bytes go. False when they cannot go anywhere.
bool Locate(const SaveTarget& target, Entry& e) {
    e.target = &target;
    struct stat st;
    if (stat(target.path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return false;
        }
        // A device or a pipe has no file to lose and cannot be renamed over.
        if (!S_ISREG(st.st_mode)) {
            e.direct = true;
            e.file = target.path;
            return true;
        }
        e.existed = true;
        e.mode = st.st_mode & 07777;
    }
    if (!FollowLinks(target.path, e.file)) {
        errno = ELOOP;
        return false;
    }
    e.dir = DirectoryOf(e.file);
    return true;
}

// Writes the bytes, plain or as a gzip member, to the open `fd` (kept open).
bool WriteImage(int fd, const std::vector<std::uint8_t>& image, bool gzip) {
    if (!gzip) return WriteAll(fd, image.data(), image.size());
    const int gz_fd = dup(fd);
    if (gz_fd < 0) return false;
    gzFile gz = gzdopen(gz_fd, "wb");
    if (gz == nullptr) {
        close(gz_fd);
        return false;
    }
    bool written = true;
    for (std::size_t pos = 0; written && pos < image.size(); pos += kGzSlice) {
        const std::size_t len = std::min(kGzSlice, image.size() - pos);
        written = gzwrite(gz, image.data() + pos, static_cast<unsigned>(len)) == static_cast<int>(len);
    }
    // zlib leaves the system's reason for a failed write in errno.
    const int write_errno = errno;
    const bool closed = gzclose(gz) == Z_OK;
    if (!written) errno = write_errno;
    return written && closed;
}

// A device or pipe, opened without blocking on a pipe nobody reads. Its
// descriptor, or -1 with errno set.
int OpenDirect(const Entry& e) {
    const int fd = open(e.file.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool WriteDirect(const Entry& e, const std::vector<std::uint8_t>& image) {
    const int fd = OpenDirect(e);
    if (fd < 0) return false;
    bool ok = WriteImage(fd, image, e.target->gzip);
    ok = close(fd) == 0 && ok;
    return ok;
}

// Creates the entry's temporary beside its file, on the signal guard's list
// from the moment it exists. Its descriptor, or -1 with errno set.
int CreateTemp(Entry& e, SaveSignalGuard& signals) {
    const std::string base = e.file + ".tmp-" + std::to_string(getpid()) + "-";
    // Saves on other threads of this process name theirs apart.
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        e.temp = base + std::to_string(serial++);
        SaveSignalGuard::Step step;
        const int fd = signals.CreateTemporary(step, e.temp.c_str(), 0666, e.slot);
        if (fd >= 0) {
            if (e.existed && fchmod(fd, e.mode) != 0) {
                const int saved = errno;
                close(fd);
                errno = saved;
                return -1;  // the cleanup removes it
            }
            return fd;
        }
        e.slot = -1;
        e.temp.clear();
        if (errno != EEXIST) return -1;
    }
    return -1;
}

// Writes the whole image to a fresh temporary and through to the disk.
bool WriteTemp(Entry& e, SaveSignalGuard& signals, const std::vector<std::uint8_t>& image) {
    const int fd = CreateTemp(e, signals);
    if (fd < 0) return false;
    bool ok = WriteImage(fd, image, e.target->gzip) && fsync(fd) == 0;
    const int saved = errno;
    ok = close(fd) == 0 && ok;
    if (!ok && saved != 0) errno = saved;
    return ok;
}

// The directories of the entries, each opened once and locked in a fixed
// order (device, inode), so that two saves never wait for each other in a
// circle. Unlocked and closed when the set goes.
class DirectoryLocks {
public:
    explicit DirectoryLocks(const std::vector<Entry>& entries) {
        for (const Entry& e : entries) {
            if (e.direct) continue;
            const int fd = open(e.dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0) continue;  // not readable: replaced unlocked
            struct stat st;
            if (fstat(fd, &st) != 0 || Has(st)) {
                close(fd);
                continue;
            }
            dirs_.push_back({st.st_dev, st.st_ino, fd});
        }
        std::sort(dirs_.begin(), dirs_.end(), [](const Dir& a, const Dir& b) {
            return std::make_pair(a.dev, a.ino) < std::make_pair(b.dev, b.ino);
        });
        // The lock is advisory: where the file system has none, the save goes on.
        for (const Dir& d : dirs_) {
            while (flock(d.fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~DirectoryLocks() {
        for (const Dir& d : dirs_) close(d.fd);
    }
    DirectoryLocks(const DirectoryLocks&) = delete;
    DirectoryLocks& operator=(const DirectoryLocks&) = delete;

    // Writes the directories' new entries through to the disk.
    void Sync() const {
        for (const Dir& d : dirs_) fsync(d.fd);
    }

private:
    struct Dir {
        dev_t dev;
        ino_t ino;
        int fd;
    };
    bool Has(const struct stat& st) const {
        return std::any_of(dirs_.begin(), dirs_.end(),
                           [&](const Dir& d) { return d.dev == st.st_dev && d.ino == st.st_ino; });
    }
    std::vector<Dir> dirs_;
};

// Keeps the earlier file under the entry's backup name: a second hard link,
// or, where the file system has none, the file itself moved aside.
bool KeepEarlier(Entry& e) {
    struct stat st;
    if (lstat(e.file.c_str(), &st) != 0) return errno == ENOENT;
    if (S_ISDIR(st.st_mode)) return false;
    if (link(e.file.c_str(), e.backup.c_str()) == 0) {
        e.kept = Backup::Linked;
        return true;
    }
    if (errno == EEXIST || rename(e.file.c_str(), e.backup.c_str()) != 0) return false;
    e.kept = Backup::Moved;
    return true;
}

// Puts back what the replace step changed, latest first (two entries may
// name the same file). Uses no memory: it runs on a failure path.
void RollBack(std::vector<Entry>& entries, std::size_t count) {
    for (std::size_t i = count; i-- > 0;) {
        Entry& e = entries[i];
        if (e.direct) continue;
        if (e.kept == Backup::Moved || (e.replaced && e.kept == Backup::Linked)) {
            rename(e.backup.c_str(), e.file.c_str());
        } else if (e.kept == Backup::Linked) {
            unlink(e.backup.c_str());
        } else if (e.replaced) {
            unlink(e.file.c_str());
        }
        e.kept = Backup::None;
        e.replaced = false;
    }
}

// Renames every temporary over its file, all in one step that no signal cuts
// in half. Only a file that a later rename could still have to give back is
// backed up first.
bool ReplaceAll(std::vector<Entry>& entries, SaveSignalGuard& signals) {
    std::size_t last = entries.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].direct) last = i;
    }
    SaveSignalGuard::Step step;
    if (step.Ending()) {
        errno = EINTR;
        return false;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        Entry& e = entries[i];
        if (e.direct) continue;
        if ((i != last && !KeepEarlier(e)) || rename(e.temp.c_str(), e.file.c_str()) != 0) {
            const int saved = errno;
            RollBack(entries, i + 1);
            errno = saved;
            return false;
        }
        e.replaced = true;
        signals.Forget(step, e.slot);
        e.slot = -1;
        e.temp.clear();
    }
    for (Entry& e : entries) {
        if (e.kept != Backup::None) unlink(e.backup.c_str());
    }
    return true;
}

// Removes the temporaries that were not renamed, whatever ended the save.
class TempCleanup {
public:
    TempCleanup(std::vector<Entry>& entries, SaveSignalGuard& signals) : entries_(entries), signals_(signals) {}
    ~TempCleanup() {
        const int saved = errno;
        SaveSignalGuard::Step step;
        for (Entry& e : entries_) {
            if (e.slot >= 0 && signals_.Forget(step, e.slot)) unlink(e.temp.c_str());
            e.slot = -1;
        }
        errno = saved;
    }
    TempCleanup(const TempCleanup&) = delete;
    TempCleanup& operator=(const TempCleanup&) = delete;

private:
    std::vector<Entry>& entries_;
    SaveSignalGuard& signals_;
};

}  // namespace

const char* SaveMessage(SaveResult result) {
    switch (result) {
        case SaveResult::Ok: return nullptr;
        case SaveResult::WriteError: return "VGM file write error, abort...";
        case SaveResult::TooLarge: return "VGM file too large, abort...";
    }
    return nullptr;
}

SaveResult SaveImage(const std::vector<std::uint8_t>& image, const std::vector<SaveTarget>& targets, int* reason) {
    const auto fail = [reason](int err) {
        if (reason != nullptr) *reason = err;
        return SaveResult::WriteError;
    };
    if (reason != nullptr) *reason = 0;
    if (image.size() > kMaxFileSize) return SaveResult::TooLarge;

    std::vector<Entry> entries(targets.size());
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (!Locate(targets[i], entries[i])) return fail(errno);
    }

    SaveSignalGuard signals;
    TempCleanup cleanup(entries, signals);
    for (Entry& e : entries) {
        errno = 0;
        const bool written = e.direct ? WriteDirect(e, image) : WriteTemp(e, signals, image);
        if (!written) return fail(errno);
        e.backup = e.temp + ".old";
    }

    DirectoryLocks locks(entries);
    if (!ReplaceAll(entries, signals)) return fail(errno);
    locks.Sync();
    return SaveResult::Ok;
}

struct PendingFile::Impl {
    SaveTarget target;
    std::vector<Entry> entries;  // the one entry, as SaveImage keeps them
    SaveSignalGuard signals;
    TempCleanup cleanup{entries, signals};
    int fd = -1;

    ~Impl() {
        if (fd >= 0) close(fd);
    }
};

PendingFile::PendingFile() = default;
PendingFile::~PendingFile() = default;

bool PendingFile::Open(const std::string& path, int& reason) {
    impl_ = std::make_unique<Impl>();
    Impl& f = *impl_;
    f.target.path = path;
    f.entries.resize(1);
    Entry& e = f.entries[0];
    errno = 0;
    if (Locate(f.target, e)) {
        f.fd = e.direct ? OpenDirect(e) : CreateTemp(e, f.signals);
    }
    reason = f.fd < 0 ? errno : 0;
    return f.fd >= 0;
}

int PendingFile::fd() const { return impl_ ? impl_->fd : -1; }

bool PendingFile::direct() const { return impl_ && !impl_->entries.empty() && impl_->entries[0].direct; }

bool PendingFile::Commit(int& reason) {
    reason = EBADF;
    if (!impl_ || impl_->fd < 0) return false;
    Impl& f = *impl_;
    const int fd = f.fd;
    f.fd = -1;
    errno = 0;
    bool ok = f.entries[0].direct || fsync(fd) == 0;
    const int saved = errno;
    ok = close(fd) == 0 && ok;
    if (ok && !f.entries[0].direct) {
        DirectoryLocks locks(f.entries);
        ok = ReplaceAll(f.entries, f.signals);
        if (ok) locks.Sync();
    }
    reason = ok ? 0 : (saved != 0 ? saved : errno);
    return ok;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string OutputKey(const std::string& path) {
    const auto key = [](const struct stat& st, const std::string& name) {
        return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + (name.empty() ? "" : "/" + name);
    };
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return key(st, "");
    std::string file;
    if (!FollowLinks(path, file)) return "";
    const std::size_t slash = file.rfind('/');
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    if (stat(DirectoryOf(file).c_str(), &st) != 0) return "";
    return key(st, name);
}

}  // namespace VGM
