// How the two output files are replaced, through the real command line: a
// failed or interrupted run leaves the earlier pair as it was, and the pair
// on disk always comes from one run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "tests/support/run_fmroll.h"
#include "tests/support/smf_builder.h"
#include "tests/support/vgm_reader.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

const char* kWriteError = "VGM file write error, abort...\n";
constexpr int kNobody = 65534;

// A song of `notes` quarter notes on the first FM channel.
Bytes Song(int notes) {
    TrackBuilder t;
    for (int i = 0; i < notes; ++i) t.NoteOn(0, 0, 40 + i % 40, 100).NoteOff(48, 0, 40 + i % 40);
    return BuildSmf(0, 48, {t.EndOfTrack()});
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Temporaries(const std::string& dir) {
    std::vector<std::string> names = Entries(dir);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& n) { return n.find(".tmp-") == std::string::npos; }),
                names.end());
    return names;
}

// A directory with the bank, songs "a.mid" (1 note) and "b.mid" (3 notes).
struct Workspace {
    TempDir dir;
    Workspace() {
        dir.Write("bank.opm", std::string(kPlainBank));
        dir.Write("a.mid", Song(1));
        dir.Write("b.mid", Song(3));
    }
    RunResult Convert(const std::string& song) { return RunFmroll(dir.path(), {"bank.opm", song}); }
    Bytes Vgm() const { return dir.Read("test.vgm"); }
    // The plain file and the inflated twin hold the same bytes.
    bool PairMatches() const {
        const VgmFile vgm = ReadVgmFile(dir.File("test.vgm"));
        const VgmFile vgz = ReadVgzFile(dir.File("test.vgz"));
        return vgm.ok && vgz.ok && vgm.bytes == vgz.bytes;
    }
};

bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 2000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// The advisory lock a saving run takes on its output directory.
class DirectoryLock {
public:
    explicit DirectoryLock(const std::string& dir) : fd_(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        EXPECT_EQ(flock(fd_, LOCK_EX), 0);
    }
    ~DirectoryLock() { Release(); }
    void Release() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

}  // namespace

TEST(SaveSafety, AFileSizeLimitIsAWriteErrorAndLeavesNoTemporary) {
    for (const bool earlier : {false, true}) {
        SCOPED_TRACE(earlier ? "earlier pair" : "no earlier pair");
        Workspace w;
        if (earlier) {
            ASSERT_EQ(w.Convert("a.mid").status, 0);
        }
        const Bytes before = w.Vgm();
        RunOptions options;
        options.limits = {{RLIMIT_FSIZE, 64}};  // room for the console lines, not for the file
        const RunResult r = RunProgram(FMROLL_BINARY, w.dir.path(), {"bank.opm", "b.mid"}, options);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.err, kWriteError);
        EXPECT_TRUE(Temporaries(w.dir.path()).empty());
        EXPECT_EQ(w.Vgm(), before);
        EXPECT_EQ(w.dir.Exists("test.vgz"), earlier);
    }
}

// The run writes its temporaries, then waits for the directory lock held
// here: a signal then removes the temporaries and ends the run as the signal
// would; releasing the lock lets it finish.
TEST(SaveSafety, TheReplaceWaitsForTheDirectoryLockAndSignalsRemoveTheTemporaries) {
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, 0}) {
        SCOPED_TRACE(sig);
        Workspace w;
        ASSERT_EQ(w.Convert("a.mid").status, 0);
        const Bytes before = w.Vgm();
        const std::vector<std::string> files = Entries(w.dir.path());
        DirectoryLock lock(w.dir.path());
        Child run(FMROLL_BINARY, w.dir.path(), {"bank.opm", "b.mid"});
        ASSERT_TRUE(WaitFor([&] { return Temporaries(w.dir.path()).size() == 2; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(w.Vgm(), before);
        if (sig != 0) {
            kill(run.pid(), sig);
            EXPECT_EQ(run.Wait().signal, sig);
            EXPECT_EQ(Entries(w.dir.path()), files);
            EXPECT_EQ(w.Vgm(), before);
        } else {
            lock.Release();
            EXPECT_EQ(run.Wait().status, 0);
            EXPECT_EQ(Entries(w.dir.path()), files);
            EXPECT_NE(w.Vgm(), before);
        }
        EXPECT_TRUE(w.PairMatches());
    }
}

TEST(SaveSafety, ConcurrentRunsInOneDirectoryLeaveAPairFromOneRun) {
    Workspace w;
    w.dir.Write("a.mid", Song(2000));
    w.dir.Write("b.mid", Song(2500));
    for (int round = 0; round < 20; ++round) {
        Child a(FMROLL_BINARY, w.dir.path(), {"bank.opm", "a.mid"});
        Child b(FMROLL_BINARY, w.dir.path(), {"bank.opm", "b.mid"});
        ASSERT_EQ(a.Wait().status, 0);
        ASSERT_EQ(b.Wait().status, 0);
        ASSERT_TRUE(w.PairMatches()) << "round " << round;
    }
}

// A test.vgz that this user may not replace (another user's file in a sticky
// directory): the new test.vgm is taken back again.
TEST(SaveSafety, WhenTheSecondFileCannotBeReplacedTheFirstIsRestored) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
    for (const bool earlierVgm : {true, false}) {
        SCOPED_TRACE(earlierVgm ? "earlier test.vgm" : "no earlier test.vgm");
        Workspace w;
        ASSERT_EQ(w.Convert("a.mid").status, 0);
        ASSERT_EQ(chmod(w.dir.path().c_str(), 01777), 0);
        ASSERT_EQ(chown(w.dir.File("test.vgm").c_str(), kNobody, kNobody), 0);
        if (!earlierVgm) fs::remove(w.dir.File("test.vgm"));
        const Bytes vgm = w.Vgm(), vgz = w.dir.Read("test.vgz");
        RunOptions options;
        options.uid = kNobody;
        const RunResult r = RunProgram(FMROLL_BINARY, w.dir.path(), {"bank.opm", "b.mid"}, options);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.err, kWriteError);
        EXPECT_EQ(w.dir.Exists("test.vgm"), earlierVgm);
        EXPECT_EQ(w.Vgm(), vgm);
        EXPECT_EQ(w.dir.Read("test.vgz"), vgz);
        EXPECT_TRUE(Temporaries(w.dir.path()).empty());
    }
}

// A link at an output name is written through; a replaced file keeps its
// permission bits, a new one gets 0666 less the umask.
TEST(SaveSafety, LinksAreFollowedAndPermissionBitsKept) {
    const mode_t mask = umask(0);
    umask(mask);
    const struct {
        const char* name;
        const char* link;    // where test.vgm points, or null for a plain file
        const char* file;    // the file that must receive the output
        int earlierMode;     // mode of an earlier file there, or -1 for none
        mode_t mode;         // its mode afterwards
    } cases[] = {
        {"relative link into a folder", "sub/real.vgm", "sub/real.vgm", 0640, 0640},
        {"link to a file still to be made", "sub/new.vgm", "sub/new.vgm", -1, 0666 & ~mask},
        {"absolute link", nullptr, "sub/abs.vgm", 0600, 0600},
        {"read-only earlier file", nullptr, "test.vgm", 0444, 0444},
        {"new file", nullptr, "test.vgm", -1, 0666 & ~mask},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace w;
        fs::create_directory(w.dir.File("sub"));
        if (c.earlierMode >= 0) {
            w.dir.Write(c.file, std::string("earlier"));
            ASSERT_EQ(chmod(w.dir.File(c.file).c_str(), static_cast<mode_t>(c.earlierMode)), 0);
        }
        std::string link;
        if (c.link) {
            link = c.link;
        } else if (std::string(c.file) != "test.vgm") {
            link = w.dir.File(c.file);
        }
        if (!link.empty()) fs::create_symlink(link, w.dir.File("test.vgm"));
        ASSERT_EQ(w.Convert("b.mid").status, 0);
        EXPECT_EQ(fs::is_symlink(w.dir.File("test.vgm")), !link.empty());
        const VgmFile out = ReadVgmFile(w.dir.File(c.file));
        EXPECT_EQ(out.bytes, ReadVgzFile(w.dir.File("test.vgz")).bytes);
        struct stat st;
        ASSERT_EQ(stat(w.dir.File(c.file).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
        EXPECT_TRUE(Temporaries(w.dir.path()).empty());
        EXPECT_TRUE(Temporaries(w.dir.File("sub")).empty());
    }
}
