// Inputs and limits at the edge of what the program can take, through the
// real command line: memory running out, a MIDI file from a pipe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "tests/support/run_fmroll.h"
#include "tests/support/smf_builder.h"
#include "tests/support/vgm_reader.h"

using namespace testsupport;

namespace {

const char* kConverting = "Converting SMF...\n";

Bytes OneNote() {
    TrackBuilder t;
    t.NoteOn(0, 0, 60, 100).NoteOff(48, 0, 60).EndOfTrack();
    return BuildSmf(0, 48, {t});
}

// A million program changes at tick 0: 2 MB of MIDI, 81 MB of VGM stream.
Bytes ManyProgramChanges() {
    Bytes track = {0x00, 0xC0, 0x00};
    for (int i = 1; i < 1000000; ++i) track.insert(track.end(), {0x00, 0x00});
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    return BuildSmfRaw(0, 1, 48, {track});
}

}  // namespace

TEST(Resources, RunningOutOfMemoryPrintsOneLineAndKeepsTheEarlierFiles) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
#endif
    TempDir dir;
    dir.Write("bank.opm", std::string(kPlainBank));
    dir.Write("one.mid", OneNote());
    dir.Write("many.mid", ManyProgramChanges());
    ASSERT_EQ(RunFmroll(dir.path(), {"bank.opm", "one.mid"}).status, 0);
    const Bytes vgm = dir.Read("test.vgm"), vgz = dir.Read("test.vgz");
    RunOptions options;
    options.limits = {{RLIMIT_AS, std::uint64_t{128} << 20}};
    const RunResult r = RunProgram(FMROLL_BINARY, dir.path(), {"bank.opm", "many.mid"}, options);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, kConverting);
    EXPECT_EQ(r.err, "Out of memory, abort...\n");
    EXPECT_EQ(dir.Read("test.vgm"), vgm);
    EXPECT_EQ(dir.Read("test.vgz"), vgz);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 5);
}

// A MIDI file that cannot be measured beforehand (a named pipe, /dev/stdin
// fed by a pipe) is read to its end.
TEST(Resources, MidiFromAPipeIsReadToItsEnd) {
    const struct {
        const char* name;
        Bytes midi;
        bool viaStdin;
        int status;
        std::string err;
    } cases[] = {
        {"named pipe", OneNote(), false, 0, ""},
        {"/dev/stdin from a pipe", OneNote(), true, 0, ""},
        {"empty pipe", {}, false, 1, "MIDIC: Unexpected end of file, abort...\n"},
    };
    TempDir reference;
    reference.Write("bank.opm", std::string(kPlainBank));
    reference.Write("song.mid", OneNote());
    ASSERT_EQ(RunFmroll(reference.path(), {"bank.opm", "song.mid"}).status, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.Write("bank.opm", std::string(kPlainBank));
        RunOptions options;
        std::string song = "song.fifo";
        int fds[2] = {-1, -1};
        std::thread writer;
        if (c.viaStdin) {
            // The song fits the pipe's buffer: written whole before the run.
            ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
            ASSERT_EQ(write(fds[1], c.midi.data(), c.midi.size()), static_cast<ssize_t>(c.midi.size()));
            close(fds[1]);
            options.stdinPath = "/proc/self/fd/" + std::to_string(fds[0]);
            song = "/dev/stdin";
        } else {
            ASSERT_EQ(mkfifo(dir.File(song).c_str(), 0600), 0);
            // Blocks until the program opens the pipe for reading.
            writer = std::thread([&] {
                const int fd = open(dir.File(song).c_str(), O_WRONLY);
                EXPECT_EQ(write(fd, c.midi.data(), c.midi.size()), static_cast<ssize_t>(c.midi.size()));
                close(fd);
            });
        }
        const RunResult r = RunProgram(FMROLL_BINARY, dir.path(), {"bank.opm", song}, options);
        if (writer.joinable()) writer.join();
        if (fds[0] >= 0) close(fds[0]);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        if (c.status == 0) {
            EXPECT_EQ(dir.Read("test.vgm"), reference.Read("test.vgm"));
        }
    }
}

// A file or stream that does not start like a MIDI file is refused at its
// first bytes, by every program that reads songs, with the reader's own line:
// an endless device or a large file of anything else is never read whole. A
// memory limit far below the file's size shows it (a whole read would run out
// of memory first); the same run without the limit must still finish.
TEST(Resources, NonMidiInputsAreRefusedAtTheirFirstBytes) {
    TempDir dir;
    dir.Write("bank.opm", std::string(kPlainBank));
    // 1 GiB of zeros without using the disk.
    const std::string big = dir.File("big.bin");
    const int fd = open(big.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, off_t{1} << 30), 0);
    close(fd);
    const std::string refused = "MIDIC: HeaderChunk Illegal, abort...\n";
    for (const std::string& input : {std::string("/dev/zero"), big}) {
        const struct {
            const char* binary;
            std::vector<std::string> args;
            int status;
            std::string out, err;
        } runs[] = {
            {FMROLL_BINARY, {"bank.opm", input}, 1, kConverting, refused},
            {FMTOOL_BINARY, {"convert", input, "-o", "out.vgz"}, 2, "", input + ": " + refused},
            {FMTOOL_BINARY, {"check", input}, 2, "", "fmtool check: " + input + ": " + refused},
            {FMTOOL_BINARY, {"arrange", input, "-o", "out.mid"}, 2, "", "fmtool arrange: " + input + ": " + refused},
        };
        for (const auto& run : runs) {
            SCOPED_TRACE(input + " " + run.args[0]);
            RunOptions options;
#if !defined(__SANITIZE_ADDRESS__)
            options.limits = {{RLIMIT_AS, std::uint64_t{256} << 20}};
#endif
            const RunResult r = RunProgram(run.binary, dir.path(), run.args, options);
            EXPECT_EQ(r.signal, 0);
            EXPECT_EQ(r.status, run.status);
            EXPECT_EQ(r.out, run.out);
            EXPECT_EQ(r.err, run.err);
            EXPECT_FALSE(dir.Exists("test.vgm") || dir.Exists("out.vgz") || dir.Exists("out.mid"));
        }
    }
}

// Memory that runs out while a song is read ends the song (and fmtool convert
// goes on to the next) with one line; it used to leave the standard error
// stream broken behind it, and the next line crashed the program.
TEST(Resources, RunningOutOfMemoryWhileReadingASong) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
#endif
    TempDir dir;
    dir.Write("bank.opm", std::string(kPlainBank));
    dir.Write("one.mid", OneNote());
    // A MIDI header and then 1 GiB of zeros: read whole before it is refused.
    dir.Write("big.mid", std::string("MThd"));
    ASSERT_EQ(truncate(dir.File("big.mid").c_str(), off_t{1} << 30), 0);
    RunOptions options;
    options.limits = {{RLIMIT_AS, std::uint64_t{256} << 20}};
    const RunResult fmroll = RunProgram(FMROLL_BINARY, dir.path(), {"bank.opm", "big.mid"}, options);
    EXPECT_EQ(fmroll.status, 255);
    EXPECT_EQ(fmroll.out, "");
    EXPECT_EQ(fmroll.err, "Out of memory, abort...\n");
    const RunResult convert = RunProgram(FMTOOL_BINARY, dir.path(), {"convert", "big.mid", "one.mid"}, options);
    EXPECT_EQ(convert.signal, 0);
    EXPECT_EQ(convert.status, 255);
    EXPECT_EQ(convert.err.substr(0, convert.err.find('\n') + 1), "big.mid: Out of memory, abort...\n");
    EXPECT_NE(convert.err.find("one.mid -> one.vgz"), std::string::npos) << convert.err;
    EXPECT_TRUE(dir.Exists("one.vgz"));
}
