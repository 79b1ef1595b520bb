// The FM bank's defaults and the OPM loader: result codes, per-line messages
// and exactly which fields a text changes.
#include "instruments/fminst.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/run_fmroll.h"

namespace {

// Loads `text` and gives the messages of the lines it skipped, one a line, as
// the programs print them; the loader itself prints nothing.
int LoadCapturing(FMInst& bank, const std::string& text, std::string* err) {
    std::vector<OpmLine> skipped;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int result = bank.LoadText(text.data(), text.size(), &skipped);
    EXPECT_EQ(testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout(), "");
    err->clear();
    for (OpmLine line : skipped) *err += OpmSyntaxMessage(line) + "\n";
    return result;
}

using testsupport::TempDir;

constexpr int kOk = FMInst::kLoadOk;
constexpr int kOpenError = 0x10000000;
constexpr int kSyntaxError = 0x20000000;

std::vector<std::int32_t> Flatten(const FmVoice& v) {
    std::vector<std::int32_t> out;
    for (const FmOperator& o : v.op) {
        out.insert(out.end(), {o.mul, o.tl, o.ks, o.ar, o.d1r, o.d2r, o.d1l, o.rr, o.dt1,
                               o.dt2, o.ams_en});
    }
    out.insert(out.end(), {v.pan, v.fl, v.con, v.slot_mask, v.ne, v.pms, v.ams, v.lfrq,
                           v.amd, v.pmd, v.wf, v.nfrq});
    return out;
}

void ExpectSameBank(const FMInst& want, const FMInst& got) {
    for (unsigned n = 0; n < FMInst::kMaxInst; ++n) {
        EXPECT_EQ(Flatten(want.voice[n]), Flatten(got.voice[n])) << "voice " << n;
    }
}

// Operator fields in the file's column order; ams_en as stored.
void SetOp(FmOperator& o, std::int32_t ar, std::int32_t d1r, std::int32_t d2r, std::int32_t rr,
           std::int32_t d1l, std::int32_t tl, std::int32_t ks, std::int32_t mul,
           std::int32_t dt1, std::int32_t dt2, std::int32_t ams_en) {
    o = {mul, tl, ks, ar, d1r, d2r, d1l, rr, dt1, dt2, ams_en};
}

void SetLfo(FmVoice& v, std::int32_t lfrq, std::int32_t amd, std::int32_t pmd, std::int32_t wf,
            std::int32_t nfrq) {
    v.lfrq = lfrq;
    v.amd = amd;
    v.pmd = pmd;
    v.wf = wf;
    v.nfrq = nfrq;
}

// Channel fields in the file's order; pan as stored.
void SetCh(FmVoice& v, std::int32_t pan, std::int32_t fl, std::int32_t con, std::int32_t ams,
           std::int32_t pms, std::int32_t slot_mask, std::int32_t ne) {
    v.pan = pan;
    v.fl = fl;
    v.con = con;
    v.ams = ams;
    v.pms = pms;
    v.slot_mask = slot_mask;
    v.ne = ne;
}

// The smallest complete voice: all-zero LFO and channel lines, operator C2
// with the columns 1..10 and AMS-EN 0.
std::string MinimalVoice(const std::string& prog_line) {
    return prog_line + "\nLFO: 0 0 0 0 0\nCH: 0 0 0 0 0 0 0\nC2: 1 2 3 4 5 6 7 8 9 10 0\n";
}
void ExpectMinimal(FmVoice& v) {
    SetLfo(v, 0, 0, 0, 0, 0);
    SetCh(v, 0, 0, 0, 0, 0, 0, 0);
    SetOp(v.op[3], 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0);
}

struct LoadCase {
    const char* name;
    std::string text;
    int result;
    std::string err;
    void (*expect)(FMInst&);  // applies the expected changes to a default bank
};

const std::string kPanic = ".OPM Load Syntax Error : ";

const std::vector<LoadCase>& LoadCases() {
    static const std::vector<LoadCase> cases = {
        {"empty text", "", kOk, "", [](FMInst&) {}},
        {"only whitespace and comments", " \t\r\n\v\f// note\n/* a\nb */\n//last", kOk, "",
         [](FMInst&) {}},
        {"worked example",
         "@:5 Example bass\nLFO: 0 0 0 0 0\nCH: 192 5 4 0 0 120 0\n"
         "M1: 28 5 0 6 1 35 1 2 3 0 0\nC1: 31 8 2 7 2 0 1 1 0 0 128\n",
         kOk, "",
         [](FMInst& b) {
             FmVoice& v = b.voice[5];
             SetLfo(v, 0, 0, 0, 0, 0);
             SetCh(v, 3, 5, 4, 0, 0, 120, 0);
             SetOp(v.op[0], 28, 5, 0, 6, 1, 35, 1, 2, 3, 0, 0);
             SetOp(v.op[2], 31, 8, 2, 7, 2, 0, 1, 1, 0, 0, 1);
         }},
        {"every keyword reaches its slot",
         "@:9\nLFO: 1 2 3 4 5\nCH: 64 6 7 8 9 10 11\n"
         "M1: 1 0 0 0 0 0 0 0 0 0 0\nM2: 2 0 0 0 0 0 0 0 0 0 0\n"
         "C1: 3 0 0 0 0 0 0 0 0 0 0\nC2: 4 0 0 0 0 0 0 0 0 0 0\n",
         kOk, "",
         [](FMInst& b) {
             FmVoice& v = b.voice[9];
             SetLfo(v, 1, 2, 3, 4, 5);
             SetCh(v, 1, 6, 7, 8, 9, 10, 11);
             for (int k = 0; k < 4; ++k) SetOp(v.op[k], 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
             v.op[0].ar = 1;
             v.op[1].ar = 2;
             v.op[2].ar = 3;
             v.op[3].ar = 4;
         }},
        {"program 200 clamps to 127", MinimalVoice("@:200"), kOk, "",
         [](FMInst& b) { ExpectMinimal(b.voice[127]); }},
        {"program -3 clamps to 0", MinimalVoice("@:-3"), kOk, "",
         [](FMInst& b) { ExpectMinimal(b.voice[0]); }},
        {"program with plus sign", MinimalVoice("@:+6"), kOk, "",
         [](FMInst& b) { ExpectMinimal(b.voice[6]); }},
        {"program -2147483648 matches", MinimalVoice("@:-2147483648"), kOk, "",
         [](FMInst& b) { ExpectMinimal(b.voice[0]); }},
        {"program 2147483647 matches", MinimalVoice("@:2147483647"), kOk, "",
         [](FMInst& b) { ExpectMinimal(b.voice[127]); }},
        {"program 2147483648 is out of range", MinimalVoice("@:2147483648"), kSyntaxError, "",
         [](FMInst&) {}},
        {"program -2147483649 is out of range", MinimalVoice("@:-2147483649"), kSyntaxError, "",
         [](FMInst&) {}},
        {"blank before the program number", MinimalVoice("@: 5"), kSyntaxError, "",
         [](FMInst&) {}},
        {"comment before the program number", MinimalVoice("@:/* c */5"), kOk, "",
         [](FMInst& b) { ExpectMinimal(b.voice[5]); }},
        {"comment inside a keyword", MinimalVoice("@/**/:5"), kSyntaxError, "", [](FMInst&) {}},
        {"keywords are case-sensitive", "@:1\nlfo: 0 0 0 0 0\nCH: 0 0 0 0 0 0 0\n", kSyntaxError,
         "", [](FMInst&) {}},
        {"only a C2 operator line", MinimalVoice("@:7 name"), kOk, "",
         [](FMInst& b) { ExpectMinimal(b.voice[7]); }},
        {"operator lines repeat, last wins",
         "@:2\nLFO: 0 0 0 0 0\nCH: 0 0 0 0 0 0 0\nM1: 1 1 1 1 1 1 1 1 1 1 1\n"
         "C2: 4 4 4 4 4 4 4 4 4 4 4\nM1: 9 9 9 9 9 9 9 9 9 9 9\n",
         kOk, "",
         [](FMInst& b) {
             FmVoice& v = b.voice[2];
             SetLfo(v, 0, 0, 0, 0, 0);
             SetCh(v, 0, 0, 0, 0, 0, 0, 0);
             SetOp(v.op[0], 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 0);
             SetOp(v.op[3], 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 0);
         }},
        {"values without separators", "@:1\nLFO:1-2+3\t4 5\nCH: 0 0 0 0 0 0 0\nC2:1 2 3 4 5 6 7 8 9 10 0",
         kOk, "",
         [](FMInst& b) {
             ExpectMinimal(b.voice[1]);
             SetLfo(b.voice[1], 1, -2, 3, 4, 5);
         }},
        {"32-bit extremes as values",
         "@:1\nLFO: -2147483648 2147483647 0 0 0\nCH: 0 0 0 0 0 0 0\nC2: 1 2 3 4 5 6 7 8 9 10 0\n",
         kOk, "",
         [](FMInst& b) {
             ExpectMinimal(b.voice[1]);
             SetLfo(b.voice[1], INT32_MIN, INT32_MAX, 0, 0, 0);
         }},
        {"value overflow ends the list", "@:1\nLFO: 1 2 3 4 99999999999\n", kSyntaxError,
         kPanic + "Lfo\n", [](FMInst&) {}},
        {"sign apart from its digits", "@:1\nLFO: 1 2 3 4 - 5\n", kSyntaxError, kPanic + "Lfo\n",
         [](FMInst&) {}},
        {"CRLF, tabs and lines run together",
         "\r\n  @:3\r\n\tLFO: 0 0 0 0 0 CH: 0 0 0 0 0 0 0\r\n\r\n  C2: 1 2 3 4 5 6 7 8 9 10 0\r\n",
         kOk, "", [](FMInst& b) { ExpectMinimal(b.voice[3]); }},
        {"comments between values and lines",
         "// bank\n@:3\nLFO: 0/*a*/0 0 0 0 // end\nCH: 0 0 0 0 0 0 0\n/* x */\nC2: 1 2 3 4 5 6 7 8 9 10 0",
         kOk, "", [](FMInst& b) { ExpectMinimal(b.voice[3]); }},
        {"a line comment lets the next line continue the values",
         "@:3\nLFO: 7 7 // first two\n   7 7 7\nCH: 0 0 0 0 0 0 0\nC2: 1 2 3 4 5 6 7 8 9 10 0\n", kOk,
         "",
         [](FMInst& b) {
             ExpectMinimal(b.voice[3]);
             SetLfo(b.voice[3], 7, 7, 7, 7, 7);
         }},
        {"a line comment swallows CR LF as one line end",
         "@:3\r\nLFO: 7 7 // c\r\n 7 7 7\r\nCH: 0 0 0 0 0 0 0\r\nC2: 1 2 3 4 5 6 7 8 9 10 0\r\n",
         kOk, "",
         [](FMInst& b) {
             ExpectMinimal(b.voice[3]);
             SetLfo(b.voice[3], 7, 7, 7, 7, 7);
         }},
        {"a line comment ends at a lone CR",
         "@:3\nLFO: 7 7 // c\r7 7 7\nCH: 0 0 0 0 0 0 0\nC2: 1 2 3 4 5 6 7 8 9 10 0\n", kOk, "",
         [](FMInst& b) {
             ExpectMinimal(b.voice[3]);
             SetLfo(b.voice[3], 7, 7, 7, 7, 7);
         }},
        {"line comment after a program name swallows the line end",
         MinimalVoice("@:4 bass // note"), kSyntaxError, "", [](FMInst&) {}},
        {"line comment after a program blank swallows the line end",
         MinimalVoice("@:4 // note"), kSyntaxError, "", [](FMInst&) {}},
        {"line comment after a program blank, then an empty line",
         MinimalVoice("@:4 // note\n  \t"), kOk, "", [](FMInst& b) { ExpectMinimal(b.voice[4]); }},
        {"line comment straight after the program number", MinimalVoice("@:4// note"), kOk, "",
         [](FMInst& b) { ExpectMinimal(b.voice[4]); }},
        {"line comment after the number, next line indented",
         "@:4// note\n LFO: 0 0 0 0 0\nCH: 0 0 0 0 0 0 0\nC2: 1 2 3 4 5 6 7 8 9 10 0\n", kSyntaxError,
         "", [](FMInst&) {}},
        {"block comments on a program line", MinimalVoice("@:4 /* a */ name /* b\n c */"), kOk, "",
         [](FMInst& b) { ExpectMinimal(b.voice[4]); }},
        {"operator line with ten values",
         "@:8\nLFO: 0 0 0 0 0\nCH: 0 0 0 0 0 0 0\nM1: 1 2 3 4 5 6 7 8 9 10\n"
         "C2: 1 2 3 4 5 6 7 8 9 10 0\n",
         kOk, kPanic + "Operator\n", [](FMInst& b) { ExpectMinimal(b.voice[8]); }},
        {"operator line with twelve values",
         "@:8\nLFO: 0 0 0 0 0\nCH: 0 0 0 0 0 0 0\nC2: 1 2 3 4 5 6 7 8 9 10 0\n"
         "C2: 1 2 3 4 5 6 7 8 9 10 11 12\n",
         kOk, kPanic + "Operator\n", [](FMInst& b) { ExpectMinimal(b.voice[8]); }},
        {"channel line with eight values keeps the last seven",
         "@:8\nLFO: 0 0 0 0 0\nCH: 1 2 3 4 5 6 7 8\nC2: 1 2 3 4 5 6 7 8 9 10 0\n", kOk,
         kPanic + "Channel\n",
         [](FMInst& b) {
             ExpectMinimal(b.voice[8]);
             SetCh(b.voice[8], 0, 3, 4, 5, 6, 7, 8);
         }},
        {"LFO line with surplus keeps the last five",
         "@:8\nLFO: 9 9 1 2 3 4 5\nCH: 0 0 0 0 0 0 0\nC2: 1 2 3 4 5 6 7 8 9 10 0\n", kOk,
         kPanic + "Lfo\n",
         [](FMInst& b) {
             ExpectMinimal(b.voice[8]);
             SetLfo(b.voice[8], 1, 2, 3, 4, 5);
         }},
        {"short LFO and channel lines store nothing",
         "@:8\nLFO: 1 2 3 4\nCH: 1\nC2: 1 2 3 4 5 6 7 8 9 10 0\n", kOk,
         kPanic + "Lfo\n" + kPanic + "Channel\n",
         [](FMInst& b) { SetOp(b.voice[8].op[3], 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0); }},
        {"a later definition wins field by field",
         MinimalVoice("@:10") +
             "@:10\nLFO: 5 5 5 5 5\nCH: 128 1 1 1 1 1 1\nM2: 3 3 3 3 3 3 3 3 3 3 128\n",
         kOk, "",
         [](FMInst& b) {
             FmVoice& v = b.voice[10];
             ExpectMinimal(v);
             SetLfo(v, 5, 5, 5, 5, 5);
             SetCh(v, 2, 1, 1, 1, 1, 1, 1);
             SetOp(v.op[1], 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 1);
         }},
        {"a stray word after valid voices", MinimalVoice("@:1") + MinimalVoice("@:2") + "stray\n",
         kSyntaxError, "",
         [](FMInst& b) {
             ExpectMinimal(b.voice[1]);
             ExpectMinimal(b.voice[2]);
         }},
        {"a failing voice keeps the lines that fired and stops the load",
         "@:11\nLFO: 1 1 1 1 1\nCH: 0 0 0 0 0 0 0\n" + MinimalVoice("@:12"), kSyntaxError, "",
         [](FMInst& b) {
             SetLfo(b.voice[11], 1, 1, 1, 1, 1);
             SetCh(b.voice[11], 0, 0, 0, 0, 0, 0, 0);
         }},
        {"channel line before LFO line", "@:1\nCH: 0 0 0 0 0 0 0\nLFO: 0 0 0 0 0\n", kSyntaxError,
         "", [](FMInst&) {}},
        {"operator keyword without values", MinimalVoice("@:1") + "M1:\n", kSyntaxError, "",
         [](FMInst& b) { ExpectMinimal(b.voice[1]); }},
        {"unterminated block comment", MinimalVoice("@:1") + "/* never closed\n", kSyntaxError, "",
         [](FMInst& b) { ExpectMinimal(b.voice[1]); }},
        {"unterminated block comment inside a name is name text", MinimalVoice("@:1 a /* b"), kOk,
         "", [](FMInst& b) { ExpectMinimal(b.voice[1]); }},
        {"line comment at the very end without a line end", MinimalVoice("@:1") + "// end", kOk, "",
         [](FMInst& b) { ExpectMinimal(b.voice[1]); }},
    };
    return cases;
}

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class OpmLoadTest : public testing::TestWithParam<LoadCase> {};

TEST_P(OpmLoadTest, ResultMessagesAndFields) {
    const LoadCase& c = GetParam();
    FMInst bank;
    std::string err;
    const int result = LoadCapturing(bank, c.text, &err);
    EXPECT_EQ(c.result, result);
    EXPECT_EQ(c.err, err);
    FMInst want;
    c.expect(want);
    ExpectSameBank(want, bank);
}

std::string CaseName(const testing::TestParamInfo<LoadCase>& info) {
    std::string name;
    for (const char* p = info.param.name; *p != '\0'; ++p) {
        const char ch = *p;
        name += (std::isalnum(static_cast<unsigned char>(ch)) != 0) ? ch : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Texts, OpmLoadTest, testing::ValuesIn(LoadCases()), CaseName);

TEST(OpmLoadTest, ShiftsAreArithmetic) {
    struct Shift {
        std::int32_t in;
        std::int32_t pan;     // in >> 6
        std::int32_t ams_en;  // in >> 7
    };
    constexpr Shift kShifts[] = {{0, 0, 0},     {1, 0, 0},     {63, 0, 0},   {64, 1, 0},
                                 {128, 2, 1},   {192, 3, 1},   {255, 3, 1},  {256, 4, 2},
                                 {-128, -2, -1}, {-1, -1, -1}};
    for (const Shift& s : kShifts) {
        const std::string v = std::to_string(s.in);
        const std::string text = "@:0\nLFO: 0 0 0 0 0\nCH: " + v + " 0 0 0 0 0 0\nM1: 0 0 0 0 0 0 0 0 0 0 " + v + "\n";
        FMInst bank;
        ASSERT_EQ(kOk, bank.LoadText(text.data(), text.size())) << text;
        EXPECT_EQ(s.pan, bank.voice[0].pan) << "PAN " << s.in;
        EXPECT_EQ(s.ams_en, bank.voice[0].op[0].ams_en) << "AMS-EN " << s.in;
    }
}

TEST(OpmLoadTest, TextEndsAtFirstNul) {
    const std::string text = MinimalVoice("@:1") + std::string(1, '\0') + "stray";
    FMInst bank;
    EXPECT_EQ(kOk, bank.LoadText(text.data(), text.size()));
    EXPECT_EQ(6, bank.voice[1].op[3].tl);
}

TEST(FmInstTest, DefaultVoices) {
    FMInst bank;
    EXPECT_EQ(128u, bank.GetMaxInst());
    for (unsigned n : {0u, 64u, 127u}) {
        const FmVoice& v = bank.voice[n];
        for (const FmOperator& o : v.op) {
            const std::vector<std::int32_t> fields = {o.mul, o.tl, o.ks, o.ar, o.d1r, o.d2r,
                                                      o.d1l, o.rr, o.dt1, o.dt2, o.ams_en};
            EXPECT_EQ((std::vector<std::int32_t>{1, 127, 0, 31, 0, 0, 0, 15, 0, 0, 0}), fields);
        }
        const std::vector<std::int32_t> fields = {v.pan, v.fl,  v.con, v.slot_mask, v.ne, v.pms,
                                                  v.ams, v.lfrq, v.amd, v.pmd, v.wf, v.nfrq};
        EXPECT_EQ((std::vector<std::int32_t>{64, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0}), fields);
    }
    // The field order is part of the record: the driver and other callers
    // read voices in place.
    static_assert(sizeof(FmOperator) == 11 * sizeof(std::int32_t));
    static_assert(sizeof(FmVoice) == (4 * 11 + 12) * sizeof(std::int32_t));
    static_assert(offsetof(FmVoice, pms) < offsetof(FmVoice, ams));
}

TEST(FmInstTest, MaxInstAfterFailedLoad) {
    FMInst bank;
    const std::string text = "garbage";
    EXPECT_EQ(kSyntaxError, bank.LoadText(text.data(), text.size()));
    EXPECT_EQ(128u, bank.GetMaxInst());
}

// ---- Loading from files ---------------------------------------------------

TEST(FmInstLoadFile, MissingFile) {
    TempDir dir;
    FMInst bank;
    FMInst want;
    EXPECT_EQ(kOpenError, bank.Load(dir.File("missing.opm").c_str()));
    ExpectSameBank(want, bank);
}

TEST(FmInstLoadFile, DirectoriesAndEndlessDevicesAreUnreadable) {
    TempDir dir;
    for (const std::string& path : {dir.path(), std::string("/dev/zero"), std::string("/dev/urandom")}) {
        FMInst bank;
        FMInst want;
        testing::internal::CaptureStderr();
        EXPECT_EQ(kOpenError, bank.Load(path.c_str())) << path;
        testing::internal::GetCapturedStderr();
        ExpectSameBank(want, bank);
    }
}

TEST(FmInstLoadFile, NulCutsTheRestOfItsChunk) {
    // The NUL ends the first 511-byte piece of the LFO line; the second piece
    // of the same line (" 6 7") is still read.
    std::string lfo = "LFO: 1 2 3 4 5";
    lfo += '\0';
    lfo += std::string(511 - lfo.size(), 'x');
    lfo += " 6 7\n";
    const std::string text = "@:1\n" + lfo + "CH: 0 0 0 0 0 0 0\nC2: 1 2 3 4 5 6 7 8 9 10 0\n";
    TempDir dir;
    dir.Write("nul.opm", text);
    const std::string path = dir.File("nul.opm");
    FMInst bank;
    std::vector<OpmLine> skipped;
    EXPECT_EQ(kOk, bank.Load(path.c_str(), &skipped));
    EXPECT_EQ(skipped, std::vector<OpmLine>{OpmLine::Lfo});
    FMInst want;
    ExpectMinimal(want.voice[1]);
    SetLfo(want.voice[1], 3, 4, 5, 6, 7);
    ExpectSameBank(want, bank);
}

TEST(FmInstLoadFile, DemoBank) {
    FMInst bank;
    testing::internal::CaptureStderr();
    EXPECT_EQ(kOk, bank.Load(testsupport::SourcePath("examples/demo.opm").c_str()));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    // The programs the demo song uses must be audible: some operator is louder
    // than full attenuation, and the slots are enabled.
    for (int n = 0; n <= 5; ++n) {
        const FmVoice& v = bank.voice[n];
        int loudest = 127;
        for (const FmOperator& o : v.op) loudest = std::min(loudest, o.tl);
        EXPECT_LE(loudest, 10) << "program " << n;
        EXPECT_EQ(3, v.pan) << "program " << n;
    }
}

TEST(FmInstLoadFile, SeveralMegabytes) {
    std::string text;
    for (int n = 0; n < 40000; ++n) {
        text += "// voice " + std::to_string(n) + "\n" +
                MinimalVoice("@:" + std::to_string(n % 128) + " name");
    }
    ASSERT_GT(text.size(), 3000000u);
    TempDir dir;
    dir.Write("big.opm", text);
    FMInst bank;
    EXPECT_EQ(kOk, bank.Load(dir.File("big.opm").c_str()));
    FMInst want;
    for (FmVoice& v : want.voice) ExpectMinimal(v);
    ExpectSameBank(want, bank);
}

// ---- Large and hostile inputs ---------------------------------------------

// These load in well under a second, even with the sanitizers; a parse that
// rescans the text (say, for an unclosed "/*" at every place it is retried)
// would run into the test runner's time limit instead.
int LoadCapturing(const std::string& text, std::string* err) {
    FMInst bank;
    return LoadCapturing(bank, text, err);
}

TEST(OpmLoadLarge, HugeInputsLoadOrFailCleanly) {
    struct Big {
        const char* name;
        std::string text;
        int result;
        std::string err;
    };
    std::string many_voices;
    for (int n = 0; n < 10000; ++n) many_voices += MinimalVoice("@:" + std::to_string(n % 128) + " voice");
    std::string many_values = "@:1\nLFO:";
    for (int n = 0; n < 50000; ++n) many_values += " 1";
    many_values += "\nCH: 0 0 0 0 0 0 0\nC2: 1 2 3 4 5 6 7 8 9 10 0\n";
    std::string open_comments = "@:1 ";
    for (int n = 0; n < 200000; ++n) open_comments += "/* ";
    std::string comment_run;
    for (int n = 0; n < 50000; ++n) comment_run += "/**/";
    const std::vector<Big> bigs = {
        {"10000 voices", many_voices, kOk, ""},
        {"100000-character name", MinimalVoice("@:1 " + std::string(100000, 'n')), kOk, ""},
        {"50000 values on one line", many_values, kOk, kPanic + "Lfo\n"},
        {"100000-digit number", "@:" + std::string(100000, '7'), kSyntaxError, ""},
        {"100000 blanks", "@:1\nLFO:" + std::string(100000, ' ') + "0 0 0 0 0\n", kSyntaxError, ""},
        {"unterminated comments in a name", open_comments, kSyntaxError, ""},
        {"unterminated comment then text", "/*" + std::string(200000, 'x'), kSyntaxError, ""},
        {"a long run of comments", comment_run + MinimalVoice("@:1") + comment_run, kOk, ""},
    };
    for (const Big& b : bigs) {
        std::string err;
        EXPECT_EQ(b.result, LoadCapturing(b.text, &err)) << b.name;
        EXPECT_EQ(b.err, err) << b.name;
    }
}

}  // namespace
