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
