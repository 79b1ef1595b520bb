// Saving an image to any set of output names: each lands whole, plain or
// gzip, and a failure touches none of them.
#include "vgm/vgm_save.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/run_fmroll.h"
#include "tests/support/vgm_reader.h"

using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Tree(const std::string& root) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(root)) names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(SaveImage, EachTargetGetsTheImageOrNoneIsTouched) {
    const std::vector<std::uint8_t> image = {'V', 'g', 'm', ' ', 1, 2, 3, 0x66};
    const struct {
        const char* name;
        std::vector<VGM::SaveTarget> targets;  // relative names are in the scratch directory
        VGM::SaveResult result;
    } cases[] = {
        {"one gzip file", {{"song.vgz", true}}, VGM::SaveResult::Ok},
        {"two folders", {{"a/song.vgm", false}, {"b/song.vgz", true}}, VGM::SaveResult::Ok},
        {"a device is written in place", {{"song.vgm", false}, {"/dev/null", true}}, VGM::SaveResult::Ok},
        {"a pipe nobody reads", {{"song.vgm", false}, {"pipe", false}}, VGM::SaveResult::WriteError},
        {"a folder in the way", {{"a/song.vgm", false}, {"b", true}}, VGM::SaveResult::WriteError},
        {"a missing folder", {{"song.vgm", false}, {"c/song.vgz", true}}, VGM::SaveResult::WriteError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        fs::create_directory(dir.File("a"));
        fs::create_directory(dir.File("b"));
        ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);
        std::vector<VGM::SaveTarget> targets = c.targets;
        for (VGM::SaveTarget& t : targets) {
            if (t.path[0] != '/') t.path = dir.File(t.path);
        }
        const std::vector<std::string> before = Tree(dir.path());
        EXPECT_EQ(VGM::SaveImage(image, targets), c.result);
        EXPECT_TRUE(fs::is_character_file("/dev/null"));
        EXPECT_TRUE(fs::is_fifo(dir.File("pipe")));
        if (c.result != VGM::SaveResult::Ok) {
            EXPECT_EQ(Tree(dir.path()), before);
            continue;
        }
        for (const VGM::SaveTarget& t : targets) {
            if (!fs::is_regular_file(t.path)) continue;
            const auto file = t.gzip ? testsupport::ReadVgzFile(t.path) : testsupport::ReadVgmFile(t.path);
            EXPECT_EQ(file.bytes, image) << t.path;
        }
    }
}

// Saves on several threads at once, ended by a signal at any moment: the
// signal may arrive on any thread, also while another creates a temporary,
// and still no temporary is left, and every file is whole or absent.
TEST(SaveImage, ConcurrentSavesEndedByASignalLeaveNoTemporary) {
    const std::vector<std::uint8_t> image(64 * 1024, 0x5A);
    for (int round = 0; round < 24; ++round) {
        TempDir dir;
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::vector<std::thread> savers;
            for (int t = 0; t < 4; ++t) {
                savers.emplace_back([&dir, &image, t] {
                    const std::string name = dir.File("out" + std::to_string(t));
                    for (;;) VGM::SaveImage(image, {{name + ".vgm", false}, {name + ".vgz", true}});
                });
            }
            for (std::thread& s : savers) s.join();
            _exit(0);
        }
        usleep(static_cast<useconds_t>(2000 + 1500 * round));
        kill(pid, round % 2 ? SIGTERM : SIGINT);
        // The signal ends the saving at once; a save that lives on is a fault.
        int status = 0;
        pid_t ended = 0;
        for (int wait = 0; wait < 500 && ended == 0; ++wait) {
            ended = waitpid(pid, &status, WNOHANG);
            if (ended == 0) usleep(10000);
        }
        if (ended == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            FAIL() << "round " << round << ": the signal did not end the saves";
        }
        ASSERT_TRUE(WIFSIGNALED(status)) << round;
        for (const std::string& name : Tree(dir.path())) {
            EXPECT_EQ(name.find(".tmp-"), std::string::npos) << "round " << round << ": " << name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".vgm") == 0) {
                EXPECT_EQ(fs::file_size(name), image.size()) << name;
            }
        }
    }
}

// A file written bit by bit lands as a saved image does: through links, with
// the earlier permission bits, in place on a device, and not at all when it
// is abandoned or cannot be.
TEST(PendingFile, CommitsLikeASaveAndAbandonsWithoutATrace) {
    TempDir dir;
    dir.Write("real.wav", std::string("earlier"));
    ASSERT_EQ(chmod(dir.File("real.wav").c_str(), 0640), 0);
    ASSERT_EQ(symlink("real.wav", dir.File("link.wav").c_str()), 0);
    ASSERT_EQ(mkdir(dir.File("folder").c_str(), 0777), 0);
    const std::string bytes = "new sound";
    const auto write = [&](const std::string& name, bool commit, int& reason) {
        VGM::PendingFile file;
        if (!file.Open(name, reason)) return false;
        if (::write(file.fd(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) return false;
        return !commit || file.Commit(reason);
    };
    int reason = -1;
    ASSERT_TRUE(write(dir.File("link.wav"), false, reason));  // abandoned
    EXPECT_EQ(dir.Read("real.wav"), std::vector<std::uint8_t>({'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
    ASSERT_TRUE(write(dir.File("link.wav"), true, reason));
    EXPECT_EQ(reason, 0);
    EXPECT_TRUE(fs::is_symlink(dir.File("link.wav")));
    EXPECT_EQ(dir.Read("real.wav"), std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    struct stat st;
    ASSERT_EQ(stat(dir.File("real.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_TRUE(write("/dev/null", true, reason));
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    EXPECT_FALSE(write(dir.File("folder"), true, reason));
    EXPECT_EQ(reason, EISDIR);
    EXPECT_FALSE(write(dir.File("none/x.wav"), true, reason));
    EXPECT_EQ(reason, ENOENT);
    for (const std::string& name : Tree(dir.path())) EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
}

// Names that reach one file share its key; names of different files do not.
TEST(OutputKey, NamesOfOneFileShareTheirKey) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0777), 0);
    dir.Write("sub/old.vgz", std::string("x"));
    ASSERT_EQ(link(dir.File("sub/old.vgz").c_str(), dir.File("hard.vgz").c_str()), 0);
    ASSERT_EQ(symlink("sub/new.vgz", dir.File("dangling.vgz").c_str()), 0);
    const std::string d = dir.path();
    struct Case {
        std::string a, b;
        bool same;
    } cases[] = {
        {d + "/sub/new.vgz", d + "/sub/../sub/./new.vgz", true},  // not yet written
        {d + "/sub/new.vgz", d + "/dangling.vgz", true},          // a link to a file still to come
        {d + "/sub/old.vgz", d + "/hard.vgz", true},              // two links of one file
        {d + "/sub/new.vgz", d + "/sub/New.vgz", false},
        {d + "/sub/new.vgz", d + "/new.vgz", false},
        {d + "/sub/old.vgz", d + "/sub/new.vgz", false},
    };
    for (const Case& c : cases) {
        const std::string ka = VGM::OutputKey(c.a), kb = VGM::OutputKey(c.b);
        EXPECT_FALSE(ka.empty()) << c.a;
        EXPECT_EQ(ka == kb, c.same) << c.a << " " << c.b;
    }
    EXPECT_TRUE(VGM::SameFile(d + "/sub/old.vgz", d + "/hard.vgz"));
    EXPECT_FALSE(VGM::SameFile(d + "/sub/new.vgz", d + "/dangling.vgz"));  // neither exists
    EXPECT_EQ(VGM::OutputKey(d + "/none/x.vgz"), "");
}
