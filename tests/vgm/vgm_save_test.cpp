// Saving an image to any set of output names: each lands whole, plain or
// gzip, and a failure touches none of them.
#include "vgm/vgm_save.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
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
