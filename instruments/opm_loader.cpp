// The OPM text parser: the grammar opm_reader, its comment grammar
// comment_parser, and the actions that move the numbers of each line through
// a value stack into the voice being defined.
//
// Whitespace is never skipped implicitly. Before every terminal (keyword,
// integer, single blank, space or name character) a run of comments is
// skipped, and if the terminal then fails the position goes back to before
// the comments. That is what lets a "//" comment after a program line's blank
// swallow the line end, and what makes "@:/*x*/5" a program line while "@: 5"
// is not; bank files rely on both.
#include "instruments/opm_loader.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <vector>

// GCC's optimiser flags a never-read optional inside Spirit's failed
// character matches as maybe-uninitialized (seen with the sanitizers on).
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <boost/spirit/include/classic_confix.hpp>
#include <boost/spirit/include/classic_core.hpp>
#include <boost/spirit/include/classic_functor_parser.hpp>
#pragma GCC diagnostic pop

#include "instruments/fminst.h"

namespace sp = boost::spirit::classic;

namespace {

// ---- One load -------------------------------------------------------------

constexpr std::size_t kLfoValues = 5;
constexpr std::size_t kChValues = 7;
constexpr std::size_t kOpValues = 11;
constexpr std::int32_t kLastProgram = 127;

struct OpKeyword {
    std::string_view text;
    std::int32_t index;  // slot in FmVoice::op
};
constexpr OpKeyword kOpKeywords[] = {
    {"M1:", 0}, {"C1:", 2}, {"M2:", 1}, {"C2:", 3}};

// Everything a load changes as it goes: the bank it fills, the voice being
// defined and the numbers of the line being read.
class OpmLoad {
public:
    OpmLoad(FMInst& bank, std::vector<OpmLine>* skipped) : bank(bank), skipped(skipped) {}

    void Int(int value) { stk.push_back(value); }

    void OpStr(const char* first, const char* last) {
        const std::string_view keyword(first, static_cast<std::size_t>(last - first));
        for (const OpKeyword& k : kOpKeywords) {
            if (k.text == keyword) {
                stk.push_back(k.index);
                return;
            }
        }
    }

    // A program line selects the voice the following lines fill. Numbers out of
    // 0..127 are clamped. Should the stack ever be empty, the current voice stays.
    void Prog(const char*, const char*) {
        if (stk.empty()) {
            Skipped(OpmLine::Program);
        } else {
            program = std::clamp<std::int32_t>(stk.back(), 0, kLastProgram);
        }
        voice = &bank.voice[program];
        stk.clear();
    }

    // LFO and channel lines with surplus values keep the last ones of the line;
    // with too few values nothing is stored.
    void Lfo(const char*, const char*) {
        if (stk.size() != kLfoValues) Skipped(OpmLine::Lfo);
        if (const std::int32_t* v = LastValues(kLfoValues)) {
            voice->lfrq = v[0];
            voice->amd = v[1];
            voice->pmd = v[2];
            voice->wf = v[3];
            voice->nfrq = v[4];
        }
        stk.clear();
    }

    void Ch(const char*, const char*) {
        if (stk.size() != kChValues) Skipped(OpmLine::Channel);
        if (const std::int32_t* v = LastValues(kChValues)) {
            voice->pan = v[0] >> 6;  // 0, 64, 128, 192 -> 0..3
            voice->fl = v[1];
            voice->con = v[2];
            voice->ams = v[3];
            voice->pms = v[4];
            voice->slot_mask = v[5];
            voice->ne = v[6];
        }
        stk.clear();
    }

    // An operator line stores only when it has exactly eleven values: with any
    // other count it is unclear which column a value belongs to.
    void Op(const char*, const char*) {
        const bool complete = stk.size() == kOpValues + 1 && stk[0] >= 0 && stk[0] < 4;
        if (!complete) {
            Skipped(OpmLine::Operator);
            stk.clear();
            return;
        }
        const std::int32_t* v = stk.data() + 1;
        FmOperator& op = voice->op[stk[0]];
        op.ar = v[0];
        op.d1r = v[1];
        op.d2r = v[2];
        op.rr = v[3];
        op.d1l = v[4];
        op.tl = v[5];
        op.ks = v[6];
        op.mul = v[7];
        op.dt1 = v[8];
        op.dt2 = v[9];
        op.ams_en = v[10] >> 7;  // 128 -> 1
        stk.clear();
    }

private:
    void Skipped(OpmLine line) {
        if (skipped != nullptr) skipped->push_back(line);
    }

    // The last `count` values on the stack, oldest first, or nullptr when the
    // stack holds fewer.
    const std::int32_t* LastValues(std::size_t count) const {
        if (stk.size() < count) return nullptr;
        return stk.data() + (stk.size() - count);
    }

    FMInst& bank;
    std::vector<OpmLine>* skipped;  // not owned; may be null
    // Integers of the line being read (and an operator line's operator index,
    // pushed first). Emptied by every line action.
    std::vector<std::int32_t> stk;
    std::int32_t program = 0;
    FmVoice* voice = &bank.voice[0];
};

// Grammar actions bound to one load.
struct IntAction {
    OpmLoad* load;
    void operator()(int value) const { load->Int(value); }
};
struct LineAction {
    OpmLoad* load;
    void (OpmLoad::*line)(const char*, const char*);
    void operator()(const char* first, const char* last) const { (load->*line)(first, last); }
};

// ---- Comments -----------------------------------------------------------

// What earlier searches for a closing "*/" found. A "/*" without a close is
// retried before every terminal at its position and inside every program
// name that contains it; remembering the answers keeps those retries from
// rescanning the rest of the text each time.
struct CloseSearchMemo {
    const char* from = nullptr;       // start of the last successful search
    const char* close = nullptr;      // the "*/" it found
    const char* none_from = nullptr;  // no "*/" starts at or after this
};

const char* FindBlockClose(CloseSearchMemo& memo, const char* from, const char* last) {
    if (memo.none_from != nullptr && from >= memo.none_from) return nullptr;
    if (memo.close != nullptr && from >= memo.from && from <= memo.close) return memo.close;
    // A close can only start before none_from.
    const char* const stop = memo.none_from != nullptr ? memo.none_from : last;
    for (const char* p = from; p < stop && p + 1 < last; ++p) {
        if (p[0] == '*' && p[1] == '/') {
            memo.from = from;
            memo.close = p;
            return p;
        }
    }
    memo.none_from = from;
    return nullptr;
}

// "/*" through the first following "*/"; no match without a close.
struct block_comment_fn {
    typedef sp::nil_t result_t;
    CloseSearchMemo* memo;

    template <typename ScannerT>
    std::ptrdiff_t operator()(ScannerT const& scan, result_t&) const {
        const char* const start = scan.first;
        const char* const last = scan.last;
        if (last - start < 2 || start[0] != '/' || start[1] != '*') return -1;
        const char* close = FindBlockClose(*memo, start + 2, last);
        if (close == nullptr) return -1;
        scan.first = close + 2;
        return scan.first - start;
    }
};

// One comment: "//" through the line end (CR LF, CR or LF) or the end of the
// text, or a closed "/*" comment.
struct comment_parser : sp::grammar<comment_parser> {
    explicit comment_parser(CloseSearchMemo* memo) : memo(memo) {}
    CloseSearchMemo* memo;

    template <typename ScannerT>
    struct definition {
        sp::rule<ScannerT> comment;

        explicit definition(comment_parser const& self) {
            comment = sp::comment_p("//") |
                      sp::functor_parser<block_comment_fn>(block_comment_fn{self.memo});
        }
        sp::rule<ScannerT> const& start() const { return comment; }
    };
};

// Skips a run of comments, then matches the terminal; on failure the position
// returns to before the comments.
template <typename SubjectT>
struct comment_skip_parser
    : sp::unary<SubjectT, sp::parser<comment_skip_parser<SubjectT>>> {
    typedef comment_skip_parser<SubjectT> self_t;
    typedef sp::unary<SubjectT, sp::parser<self_t>> base_t;

    template <typename ScannerT>
    struct result {
        typedef typename sp::parser_result<SubjectT, ScannerT>::type type;
    };

    comment_skip_parser(SubjectT const& subject, comment_parser const* comments)
        : base_t(subject), comments(comments) {}

    template <typename ScannerT>
    typename sp::parser_result<self_t, ScannerT>::type parse(ScannerT const& scan) const {
        typename ScannerT::iterator_t const save = scan.first;
        while (comments->parse(scan)) {
        }
        auto hit = this->subject().parse(scan);
        if (!hit) scan.first = save;
        return hit;
    }

    comment_parser const* comments;
};

struct opm_reader : sp::grammar<opm_reader> {
    opm_reader(comment_parser const& comments, OpmLoad& load) : comments(&comments), load(&load) {}
    comment_parser const* comments;
    OpmLoad* load;

    template <typename ScannerT>
    struct definition {
        sp::rule<ScannerT> opm_file, voice_block, prog_line, lfo_line, ch_line, op_line,
            value_list, spaces, blanks;

        explicit definition(opm_reader const& self) {
            // Every terminal goes through t(), which skips comments before it.
            auto t = [&self](auto const& terminal) {
                typedef std::decay_t<decltype(terminal)> terminal_t;
                return comment_skip_parser<terminal_t>(terminal, self.comments);
            };
            const IntAction integer{self.load};
            auto line = [&self](void (OpmLoad::*action)(const char*, const char*)) {
                return LineAction{self.load, action};
            };
            spaces = *t(sp::space_p);
            blanks = *t(sp::blank_p);
            value_list = +(t(sp::int_p[integer]) >> blanks);
            // The voice name runs to the end of the line and is not stored.
            prog_line = (t(sp::str_p("@:")) >> t(sp::int_p[integer]) >>
                         !(+t(sp::blank_p) >> *t(~sp::ch_p('\n'))))[line(&OpmLoad::Prog)];
            lfo_line = (t(sp::str_p("LFO:")) >> blanks >> value_list)[line(&OpmLoad::Lfo)];
            ch_line = (t(sp::str_p("CH:")) >> blanks >> value_list)[line(&OpmLoad::Ch)];
            op_line = ((t(sp::str_p("M1:")[line(&OpmLoad::OpStr)]) | t(sp::str_p("C1:")[line(&OpmLoad::OpStr)]) |
                        t(sp::str_p("M2:")[line(&OpmLoad::OpStr)]) | t(sp::str_p("C2:")[line(&OpmLoad::OpStr)])) >>
                       blanks >> value_list)[line(&OpmLoad::Op)];
            voice_block = prog_line >> spaces >> lfo_line >> spaces >> ch_line >> spaces >>
                          +(op_line >> spaces) >> spaces;
            opm_file = spaces >> *voice_block >> spaces;
        }
        sp::rule<ScannerT> const& start() const { return opm_file; }
    };
};

}  // namespace

int ParseOpmText(FMInst& bank, const char* first, const char* last, std::vector<OpmLine>* skipped) {
    OpmLoad load(bank, skipped);
    CloseSearchMemo memo;
    comment_parser comments(&memo);
    opm_reader reader(comments, load);

    const char* pos = first;
    sp::scanner<const char*> scan(pos, last);
    while (comments.parse(scan)) {
    }
    const bool matched = static_cast<bool>(reader.parse(scan));
    while (comments.parse(scan)) {
    }
    const bool whole = matched && pos == last;
    return whole ? FMInst::kLoadOk : FMInst::kLoadSyntaxError;
}
