// The GD3 tag: texts survive a round trip through UTF-16LE, faulty UTF-8 and
// faulty tags are handled safely, and appending a tag keeps the header true.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "vgm/gd3.h"
#include "vgm/vgm_format.h"

namespace {

using namespace VGM;

Gd3Tag SampleTag() {
    Gd3Tag tag;
    tag[kGd3TrackName] = "Title";
    tag[kGd3TrackNameJapanese] = "\xE6\x9B\xB2";  // a CJK character
    tag[kGd3SystemName] = kGd3MegaDrive;
    tag[kGd3Author] = "Ren\xC3\xA9" "e \xF0\x9F\x8E\xB5";  // é and a character beyond U+FFFF
    tag[kGd3Notes] = "line one\nline two";
    return tag;
}

TEST(Gd3, RoundTripKeepsEveryText) {
    const Gd3Tag tag = SampleTag();
    const std::vector<std::uint8_t> bytes = BuildGd3(tag);
    ASSERT_EQ(0, std::memcmp(bytes.data(), "Gd3 \x00\x01\x00\x00", 8));
    EXPECT_EQ(Get32(bytes.data() + 8), bytes.size() - kGd3HeaderSize);
    const Gd3Reading r = ParseGd3(bytes.data(), bytes.size());
    EXPECT_TRUE(r.found);
    EXPECT_TRUE(r.problems.empty()) << r.problems.front();
    EXPECT_EQ(r.tag.text, tag.text);
}

TEST(Gd3, EmptyTagIsElevenTerminators) {
    const std::vector<std::uint8_t> bytes = BuildGd3(Gd3Tag{});
    EXPECT_EQ(bytes.size(), kGd3HeaderSize + 22);
}

// Bytes that are not UTF-8 cannot be stored as they are; each becomes U+FFFD,
// and nothing may end a string early or put a line break into a title.
TEST(Gd3, FaultyTextIsStoredSafely) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"a\xFF" "b", "a\xEF\xBF\xBD" "b"},
        {"\xC3", "\xEF\xBF\xBD"},                                // cut short
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                // overlong
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate in UTF-8
        {std::string("x\0y", 3), "x\xEF\xBF\xBDy"},
        {"two\nlines", "two lines"},
    };
    for (const Case& c : cases) {
        Gd3Tag tag;
        tag[kGd3TrackName] = c.in;
        const std::vector<std::uint8_t> bytes = BuildGd3(tag);
        const Gd3Reading r = ParseGd3(bytes.data(), bytes.size());
        EXPECT_TRUE(r.problems.empty());
        EXPECT_EQ(r.tag[kGd3TrackName], c.out);
    }
}

// Each fault in a tag is one line; what can be read is read.
TEST(Gd3, FaultyLayoutIsReportedOnce) {
    const std::vector<std::uint8_t> good = BuildGd3(SampleTag());
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::string problem;
    };
    std::vector<std::uint8_t> version = good, longer = good, cut = good, extra = good, surrogate = BuildGd3(Gd3Tag{});
    version[4] = 0x10;
    Put32(longer.data() + 8, Get32(good.data() + 8) + 100);
    cut.resize(cut.size() - 2);  // the notes lose their terminator
    Put32(cut.data() + 8, Get32(cut.data() + 8) - 2);
    extra.insert(extra.end(), {'x', 0, 'y', 0});
    Put32(extra.data() + 8, Get32(extra.data() + 8) + 4);
    surrogate.insert(surrogate.begin() + kGd3HeaderSize, {0x00, 0xD8});
    Put32(surrogate.data() + 8, 24);
    const Case cases[] = {
        {"version", version, "GD3 version is 1.10, not 1.00"},
        {"length", longer, "runs past the end of the file"},
        {"terminator", cut, "GD3 notes has no terminator"},
        {"extra", extra, "GD3 tag has 4 bytes after its last string"},
        {"surrogate", surrogate, "GD3 track name holds an unpaired UTF-16 surrogate"},
        {"header", std::vector<std::uint8_t>(good.begin(), good.begin() + 8), "cut off inside its header"},
    };
    for (const Case& c : cases) {
        const Gd3Reading r = ParseGd3(c.bytes.data(), c.bytes.size());
        EXPECT_TRUE(r.found) << c.name;
        ASSERT_EQ(r.problems.size(), 1u) << c.name;
        EXPECT_NE(r.problems[0].find(c.problem), std::string::npos) << c.name << ": " << r.problems[0];
    }
    EXPECT_FALSE(ParseGd3(good.data() + 1, good.size() - 1).found);
}

TEST(Gd3, AppendPointsTheHeaderAtTheTagAndReplacesAnOldOne) {
    std::vector<std::uint8_t> vgm(kHeaderSize + 3, 0);
    std::memcpy(vgm.data(), kIdent, 4);
    vgm[kHeaderSize] = kCmdEnd;
    std::vector<std::uint8_t> before = vgm;
    ASSERT_TRUE(AppendGd3(vgm, SampleTag()));
    EXPECT_EQ(Get32(vgm.data() + kOffGd3) + kOffGd3, before.size());
    EXPECT_EQ(Get32(vgm.data() + kOffEof) + kOffEof, vgm.size());
    EXPECT_TRUE(std::equal(before.begin() + kOffGd3 + 4, before.end(), vgm.begin() + kOffGd3 + 4));

    Gd3Tag other;
    other[kGd3TrackName] = "Other";
    ASSERT_TRUE(AppendGd3(vgm, other));
    EXPECT_EQ(vgm.size(), before.size() + BuildGd3(other).size());
    const Gd3Reading r = ParseGd3(vgm.data() + before.size(), vgm.size() - before.size());
    EXPECT_EQ(r.tag[kGd3TrackName], "Other");

    std::vector<std::uint8_t> notVgm(kHeaderSize, 0);
    EXPECT_FALSE(AppendGd3(notVgm, other));
    EXPECT_EQ(notVgm.size(), kHeaderSize);
}

}  // namespace
