// fmtool info: our own files are valid, each fault of a hand-broken file is
// one line, GD3 tags are shown, and the piano roll is well-formed SVG with a
// bar for every key-on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "fmtool/info/info_report.h"
#include "fmtool/info/piano_roll.h"
#include "fmtool/info/vgm_inspect.h"
#include "tests/support/run_fmroll.h"
#include "vgm/gd3.h"
#include "vgm/vgm_format.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::TempDir;
using namespace VGM;

// A small file as another tool might write it: data offset 0x0C, one FM note
// keyed on for a frame, the loop point at its key-off, 1000 more samples.
//   0x40 52 28 F0   0x43 62   0x44 52 28 00   0x47 61 E8 03   0x4A 66
Bytes SmallVgm() {
    static const std::uint8_t kCommands[] = {0x52, 0x28, 0xF0, 0x62, 0x52, 0x28, 0x00, 0x61, 0xE8, 0x03, 0x66};
    Bytes b(kHeaderSize + sizeof kCommands, 0);
    std::memcpy(b.data(), kIdent, 4);
    std::memcpy(&b[kHeaderSize], kCommands, sizeof kCommands);
    Put32(&b[kOffVersion], kVersion150);
    Put32(&b[kOffSn76489Clock], kSn76489Clock);
    Put32(&b[kOffYm2612Clock], kYm2612Clock);
    Put32(&b[kOffTotalSamples], 1735);
    Put32(&b[kOffLoopOffset], 0x44 - kOffLoopOffset);
    Put32(&b[kOffLoopSamples], 1000);
    Put32(&b[kOffDataOffset], kHeaderSize - kOffDataOffset);
    Put32(&b[kOffEof], static_cast<std::uint32_t>(b.size() - kOffEof));
    return b;
}

void FixEof(Bytes& b) { Put32(&b[kOffEof], static_cast<std::uint32_t>(b.size() - kOffEof)); }

// Two bytes of YM2612 samples in a data block, then two DAC writes from `seek`.
void WithPcm(Bytes& b, std::uint8_t seek) {
    const Bytes pcm = {0x67, 0x66, 0x00, 0x02, 0x00, 0x00, 0x00, 0x80, 0x81, 0xE0, seek, 0, 0, 0, 0x80, 0x80};
    b.insert(b.begin() + kHeaderSize, pcm.begin(), pcm.end());
    Put32(&b[kOffLoopOffset], Get32(&b[kOffLoopOffset]) + static_cast<std::uint32_t>(pcm.size()));
    FixEof(b);
}

Bytes WithGd3(Bytes b, const Gd3Tag& tag) {
    EXPECT_TRUE(AppendGd3(b, tag));
    return b;
}

TEST(Info, EachFaultIsOneLine) {
    Gd3Tag tag;
    tag[kGd3TrackName] = "Tune";
    tag[kGd3Notes] = "x";
    Bytes noTerminator = WithGd3(SmallVgm(), tag);
    noTerminator.resize(noTerminator.size() - 2);
    Put32(&noTerminator[0x4B + 8], Get32(&noTerminator[0x4B + 8]) - 2);
    FixEof(noTerminator);

    struct Case {
        const char* name;
        Bytes file;
        const char* problem;
    };
    std::vector<Case> cases;
    const auto add = [&cases](const char* name, auto change, const char* problem) {
        Bytes b = SmallVgm();
        change(b);
        cases.push_back({name, b, problem});
    };
    add("eof", [](Bytes& b) { Put32(&b[kOffEof], Get32(&b[kOffEof]) + 1); }, "EOF offset");
    add("total", [](Bytes& b) { Put32(&b[kOffTotalSamples], 1736); }, "total samples 1736 (0:00.0), but the waits add up to 1735");
    add("loop inside", [](Bytes& b) { Put32(&b[kOffLoopOffset], 0x45 - kOffLoopOffset); }, "0x45, inside a command");
    add("loop past", [](Bytes& b) { Put32(&b[kOffLoopOffset], 0x60 - kOffLoopOffset); }, "past the end of the sound data");
    add("loop samples", [](Bytes& b) { Put32(&b[kOffLoopSamples], 999); }, "loop samples 999");
    add("zero loop", [](Bytes& b) {
        Put32(&b[kOffLoopOffset], 0x4A - kOffLoopOffset);
        Put32(&b[kOffLoopSamples], 0);
    }, "zero-length loop");
    add("no end", [](Bytes& b) { b.pop_back(); FixEof(b); }, "no end command");
    add("cut", [](Bytes& b) { b.resize(b.size() - 2); FixEof(b); }, "ends inside the command at 0x47");
    add("unknown", [](Bytes& b) { b[0x43] = 0x21; }, "unknown command 0x21 at 0x43");
    add("data in header", [](Bytes& b) { Put32(&b[kOffDataOffset], 4); }, "points inside the header");
    add("data past end", [](Bytes& b) { Put32(&b[kOffDataOffset], 0x1000); }, "past the end of the file");
    add("version", [](Bytes& b) { Put32(&b[kOffVersion], 0x1A0); }, "is not one of 1.00 to 1.71");
    add("gd3 inside", [](Bytes& b) { Put32(&b[kOffGd3], 0x44 - kOffGd3); }, "inside the sound data");
    add("gd3 past", [](Bytes& b) { Put32(&b[kOffGd3], 0x100); }, "GD3 offset points at 0x114, past the end");
    add("dac past its data", [](Bytes& b) { WithPcm(b, 1); }, "the DAC reads past the end of its PCM data at 0x4F");
    cases.push_back({"gd3 terminator", noTerminator, "GD3 notes has no terminator"});

    for (const Case& c : cases) {
        const fmtool::VgmInspection info = fmtool::InspectVgmMemory(c.file.data(), c.file.size());
        ASSERT_TRUE(info.readable) << c.name << ": " << info.error;
        std::string all;
        for (const std::string& p : info.problems) all += p + "; ";
        ASSERT_EQ(info.problems.size(), 1u) << c.name << ": " << all;
        EXPECT_NE(info.problems[0].find(c.problem), std::string::npos) << c.name << ": " << info.problems[0];
    }
}

TEST(Info, ThePcmBankAndTheDacAreCounted) {
    Bytes b = SmallVgm();
    WithPcm(b, 0);
    const fmtool::VgmInspection info = fmtool::InspectVgmMemory(b.data(), b.size());
    EXPECT_TRUE(info.Valid());
    EXPECT_EQ(info.pcm_bytes, 2u);
    EXPECT_EQ(info.dac_seeks, 1u);
    EXPECT_EQ(info.dac_bytes, 2u);
}

TEST(Info, SmallFileIsValidAndCounted) {
    const Bytes b = SmallVgm();
    const fmtool::VgmInspection info = fmtool::InspectVgmMemory(b.data(), b.size());
    EXPECT_TRUE(info.Valid());
    EXPECT_TRUE(info.remarks.empty());
    EXPECT_EQ(info.wait_samples, 1735u);
    EXPECT_EQ(info.loop_sample, 735u);
    EXPECT_EQ(info.channels[0].key_ons, 1u);
    EXPECT_EQ(info.channels[0].active_samples, 735u);
}

// A tiny well-formedness check: tags nest and close, attributes are quoted,
// no raw '<' or '&' in text.
bool WellFormed(const std::string& xml, std::string& why) {
    std::vector<std::string> open;
    static const std::regex kTag(R"(<(/?)([A-Za-z][\w:-]*)((?:\s+[\w:-]+="[^"<&]*")*)\s*(/?)>)");
    std::size_t pos = xml.find("?>") + 2;
    while (pos < xml.size()) {
        const std::size_t lt = xml.find('<', pos);
        const std::string text = xml.substr(pos, lt == std::string::npos ? std::string::npos : lt - pos);
        if (std::regex_search(text, std::regex("&(?!(amp|lt|gt|quot);)"))) return why = "bad entity in " + text, false;
        if (lt == std::string::npos) break;
        const std::size_t gt = xml.find('>', lt);
        std::smatch m;
        const std::string tag = xml.substr(lt, gt - lt + 1);
        if (!std::regex_match(tag, m, kTag)) return why = "bad tag " + tag, false;
        if (m[1] == "/") {
            if (open.empty() || open.back() != m[2]) return why = "unbalanced " + tag, false;
            open.pop_back();
        } else if (m[4] != "/") {
            open.push_back(m[2]);
        }
        pos = gt + 1;
    }
    if (!open.empty()) return why = "unclosed " + open.back(), false;
    return true;
}

// The demo, run through the command line: valid, and its roll holds a bar per
// key-on, and the song's notes behind them.
TEST(Info, DemoIsValidAndItsRollHasABarPerKeyOn) {
    TempDir dir;
    const std::string mid = testsupport::SourcePath("examples/demo.mid");
    ASSERT_EQ(testsupport::RunFmroll(dir.path(), {testsupport::SourcePath("examples/demo.opm"), mid}).status, 0);
    const testsupport::RunResult r = testsupport::RunFmtool(dir.path(), {"info", "test.vgm", "test.vgz"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("note: data offset is 0 in a 1.50 header; read as 0x40"), std::string::npos);
    EXPECT_EQ(r.out.find("problem"), std::string::npos) << r.out;
    const testsupport::RunResult two =
        testsupport::RunFmtool(dir.path(), {"info", "test.vgm", "test.vgz", "--svg", "roll.svg"});
    EXPECT_EQ(two.status, 2);
    EXPECT_EQ(two.err, "fmtool info: --svg draws one file; 2 given\n");

    const testsupport::RunResult one =
        testsupport::RunFmtool(dir.path(), {"info", "test.vgz", "--svg", "roll.svg", "--midi", mid});
    ASSERT_EQ(one.status, 0) << one.err;
    const Bytes bytes = dir.Read("roll.svg");
    const std::string svg(bytes.begin(), bytes.end());
    std::string why;
    EXPECT_TRUE(WellFormed(svg, why)) << why;

    const fmtool::VgmInspection info = fmtool::InspectVgmFile(dir.File("test.vgm"));
    std::uint64_t keyOns = 0;
    for (const fmtool::ChannelSummary& c : info.channels) keyOns += c.key_ons;
    const auto count = [&svg](const char* needle) {
        std::size_t n = 0;
        for (std::size_t at = svg.find(needle); at != std::string::npos; at = svg.find(needle, at + 1)) ++n;
        return n;
    };
    EXPECT_GT(keyOns, 100u);
    EXPECT_EQ(count("<rect class=\"note "), keyOns);
    EXPECT_GT(count("<rect class=\"song\""), 100u);
    EXPECT_EQ(count("class=\"loop\""), 1u);
}

// The picture never replaces a file the command reads, whatever name
// reaches it; a picture that cannot be written says why.
TEST(Info, ThePictureNeverReplacesAnInput) {
    TempDir dir;
    dir.Write("f.vgm", SmallVgm());
    const std::string mid = testsupport::SourcePath("examples/demo.mid");
    dir.Write("song.mid", std::string("not a song"));
    ASSERT_EQ(symlink("f.vgm", dir.File("link.svg").c_str()), 0);
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"info", "f.vgm", "--svg", "f.vgm"}, "fmtool info: not written: the picture f.vgm would replace the input f.vgm\n"},
        {{"info", "f.vgm", "--svg", "./link.svg"}, "the picture ./link.svg would replace the input f.vgm\n"},
        {{"info", "f.vgm", "--svg", "song.mid", "--midi", "song.mid"}, "would replace the input song.mid\n"},
        {{"info", "f.vgm", "--svg", "x.svg", "--midi", "song.mid"}, "fmtool info: song.mid: MIDIC: HeaderChunk Illegal, abort...\n"},
        {{"info", "f.vgm", "--svg", "x.svg", "--midi", "none.mid"}, "fmtool info: none.mid: File open error, abort... (no such file)\n"},
        {{"info", "f.vgm", "--svg", "none/x.svg"}, "fmtool info: cannot write none/x.svg: no such folder\n"},
    };
    for (const Case& c : cases) {
        const testsupport::RunResult r = testsupport::RunFmtool(dir.path(), c.args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(dir.Read("f.vgm"), SmallVgm());
        EXPECT_EQ(dir.Read("song.mid"), Bytes({'n', 'o', 't', ' ', 'a', ' ', 's', 'o', 'n', 'g'}));
    }
    EXPECT_FALSE(dir.Exists("x.svg"));
}

TEST(Info, CommandLineStatusesAndGd3) {
    TempDir dir;
    Gd3Tag tag;
    tag[kGd3TrackName] = "Caf\xC3\xA9 <Theme>";
    tag[kGd3Notes] = "first\nsecond";
    dir.Write("tagged.vgm", WithGd3(SmallVgm(), tag));
    Bytes broken = SmallVgm();
    broken.pop_back();
    dir.Write("broken.vgm", broken);
    dir.Write("other.mid", std::string("MThd"));

    testsupport::RunResult r = testsupport::RunFmtool(dir.path(), {"info", "tagged.vgm"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("track name: Caf\xC3\xA9 <Theme>"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("notes: first\n              second"), std::string::npos) << r.out;

    r = testsupport::RunFmtool(dir.path(), {"info", "--json", "tagged.vgm", "broken.vgm"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\"track_name\": \"Caf\xC3\xA9 <Theme>\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"notes\": \"first\\nsecond\""), std::string::npos);
    EXPECT_NE(r.out.find("\"problems\": [\"EOF offset 0x47 gives a file of 75 bytes; it has 74\", \"no end command (0x66)\"]"),
              std::string::npos) << r.out;

    r = testsupport::RunFmtool(dir.path(), {"info", "broken.vgm", "other.mid", "missing.vgm"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("  2 problems"), std::string::npos) << r.out;
    EXPECT_EQ(r.err,
              "fmtool info: other.mid is not a VGM file\n"
              "fmtool info: missing.vgm cannot be opened: no such file\n");
}

}  // namespace

// A tag written by another tool may hold anything: what info prints of it
// never moves the cursor, forges a line or runs on for pages, and the piano
// roll stays well-formed XML.
TEST(Info, HostileTagTextsAreShownSafely) {
    fmtool::VgmInspection info = fmtool::InspectVgmMemory(SmallVgm().data(), SmallVgm().size());
    ASSERT_TRUE(info.readable);
    info.has_gd3 = true;
    info.gd3[kGd3TrackName] = "\x1B]0;owned\x07\x1B[2JTitle\xEF\xBF\xBE";
    info.gd3[kGd3TrackNameJapanese] = "音楽テスト";
    info.gd3[kGd3Author] = "Someone\r\n  problem: forged";
    std::string notes;
    for (int i = 0; i < 2000; ++i) notes += "word" + std::to_string(i) + " ";
    info.gd3[kGd3Notes] = "short line\n" + notes;
    std::ostringstream out;
    fmtool::WriteInfoText(out, "name\x1B[1m.vgm", info);
    const std::string text = out.str();
    EXPECT_NE(text.find("name\\x1B[1m.vgm\n"), std::string::npos) << text;
    EXPECT_NE(text.find("track name: \\x1B]0;owned\\x07\\x1B[2JTitle\\uFFFE\n"), std::string::npos) << text;
    EXPECT_NE(text.find("track name (Japanese): 音楽テスト\n"), std::string::npos) << text;
    EXPECT_NE(text.find("author: Someone\\x0D\\x0A  problem: forged\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\n  problem:"), std::string::npos);
    for (const char c : text) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
    std::istringstream lines(text);
    std::size_t count = 0, notesLines = 0;
    bool inNotes = false;
    for (std::string line; std::getline(lines, line); ++count) {
        EXPECT_LE(line.size(), 80u) << line;
        if (line.find("notes: ") != std::string::npos) inNotes = true;
        if (inNotes && line.rfind("  channel", 0) == 0) inNotes = false;
        if (inNotes) ++notesLines;
    }
    EXPECT_EQ(notesLines, 20u);
    EXPECT_NE(text.find("notes: short line\n              word0 word1 "), std::string::npos) << text;
    EXPECT_NE(text.find(" more lines\n"), std::string::npos);

    fmtool::PianoRoll roll;
    roll.title = info.gd3[kGd3TrackName] + " & <more>";
    roll.seconds = 1;
    const std::string svg = fmtool::RenderPianoRoll(roll);
    std::string why;
    EXPECT_TRUE(WellFormed(svg, why)) << why;
    EXPECT_NE(svg.find(">]0;owned[2JTitle &amp; &lt;more&gt;</text>"), std::string::npos) << svg.substr(0, 1500);
    EXPECT_EQ(svg.find("\xEF\xBF\xBE"), std::string::npos);
}

// Wrapping counts a wide character as two columns and breaks a word only
// when it has no blank.
TEST(Info, LongTextsWrapByColumns) {
    fmtool::VgmInspection info = fmtool::InspectVgmMemory(SmallVgm().data(), SmallVgm().size());
    info.has_gd3 = true;
    std::string kanji;
    for (int i = 0; i < 40; ++i) kanji += "曲";
    info.gd3[kGd3Notes] = kanji;
    info.gd3[kGd3TrackName] = std::string(100, 'x');
    std::ostringstream out;
    fmtool::WriteInfoText(out, "f.vgm", info);
    const std::string notesAt = "notes: ";
    const std::string text = out.str();
    const std::size_t at = text.find(notesAt) + notesAt.size();
    const std::string first = text.substr(at, text.find('\n', at) - at);
    EXPECT_EQ(first, kanji.substr(0, 30 * 3));  // 60 columns beside the label's 19
    EXPECT_NE(text.find("track name: " + std::string(56, 'x') + "\n              " + std::string(44, 'x') + "\n"),
              std::string::npos)
        << text;
}
