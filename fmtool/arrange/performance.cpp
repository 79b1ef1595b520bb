#include "fmtool/arrange/performance.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "fmtool/arrange/chip_level.h"
#include "smf/smf_format.h"
#include "smf/smf_score.h"

namespace fmtool {

namespace {

// Controllers read here: the SMF vocabulary; 124-127 (mode changes) release
// notes as all notes off (123) does.
using namespace MIDI;
constexpr int kPedalDown = 64;

constexpr int kDefaultVolume = 100;  // General MIDI power-on values
constexpr int kDefaultExpression = 127;
constexpr int kDefaultBendRange = 200;  // cents
constexpr int kNull = 127;              // registered parameter 127/127: none selected

constexpr std::uint8_t kMetaMarker = 0x06;
constexpr std::uint8_t kMetaCuePoint = 0x07;

struct ChannelState {
    int program = 0;
    int volume = kDefaultVolume;
    int expression = kDefaultExpression;
    int pan = 64;
    int bend = 0;  // -8192..8191
    int modulation = 0;
    int bend_range = kDefaultBendRange;
    int rpn_msb = kNull, rpn_lsb = kNull;
    bool rpn_selected = false;  // the last selection was a registered one
    bool pedal = false;
    // Notes still sounding: index into Performance::notes, and whether the
    // key was released while the pedal held it.
    struct Open {
        std::size_t note;
        bool released;
    };
    std::vector<Open> open;

    double ChannelDb() const { return SourceLevelDb(127, volume, expression); }
    double BendCents() const { return static_cast<double>(bend) * bend_range / 8192.0; }
    bool BendRangeSelected() const { return rpn_selected && rpn_msb == 0 && rpn_lsb == 0; }
};

bool IsLoopText(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    text.erase(0, text.find_first_not_of(" \t\r\n"));
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text == "loopstart" || text == "loop";
}

class Reader {
public:
    Reader(const MIDI::Score& score, const FrameTimeline& timeline) : score_(score), timeline_(timeline) {}

    Performance Read() {
        for (const MIDI::ScoreEvent& e : score_.events) {
            if (e.IsChannel()) {
                Channel(e);
            } else if (e.IsMeta() && (e.data1 == kMetaMarker || e.data1 == kMetaCuePoint) &&
                       e.payload < score_.texts.size() && IsLoopText(score_.texts[e.payload])) {
                perf_.loop_points.push_back(timeline_.At(e.tick));
            }
        }
        perf_.end = timeline_.At(score_.EndTick());
        for (ChannelState& ch : channels_) {
            for (const ChannelState::Open& o : ch.open) perf_.notes[o.note].end = perf_.end;
        }
        return std::move(perf_);
    }

private:
    void Channel(const MIDI::ScoreEvent& e) {
        const unsigned c = e.Channel();
        ChannelState& ch = channels_[c];
        const Moment at = timeline_.At(e.tick);
        // The reader takes data bytes as they stand; a synthesiser hears 7 bits.
        const int d1 = e.data1 & 0x7F, d2 = e.data2 & 0x7F;
        const unsigned kind = e.Kind();
        if (kind == 0x90 && d2 > 0) {
            NoteOn(c, ch, d1, d2, at);
        } else if (kind == 0x80 || kind == 0x90) {
            for (std::size_t i = 0; i < ch.open.size(); ++i) {
                if (perf_.notes[ch.open[i].note].key != d1 || ch.open[i].released) continue;
                if (ch.pedal) {
                    ch.open[i].released = true;
                } else {
                    End(ch, i, at);
                }
                break;
            }
        } else if (kind == 0xC0) {
            ch.program = d1;
        } else if (kind == 0xE0) {
            ch.bend = d2 * 128 + d1 - 8192;
            Change(c, at, ChannelChange::Bend, ch.BendCents());
        } else if (kind == 0xB0) {
            Control(c, ch, d1, d2, at);
        }
    }

    void NoteOn(unsigned c, ChannelState& ch, int key, int velocity, const Moment& at) {
        if (c == kDrumChannel) {
            const double db = SourceLevelDb(velocity, ch.volume, ch.expression);
            if (db <= kSilentDb) {
                ++perf_.silent_notes;
                return;
            }
            perf_.hits.push_back(DrumHit{at, static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(velocity), db});
            return;
        }
        // A key struck again ends its earlier note.
        for (std::size_t i = 0; i < ch.open.size(); ++i) {
            if (perf_.notes[ch.open[i].note].key == key) {
                End(ch, i, at);
                break;
            }
        }
        if (ch.volume == 0 || ch.expression == 0) {
            ++perf_.silent_notes;
            return;
        }
        SourceNote n;
        n.start = at;
        n.end = at;
        n.channel = static_cast<std::uint8_t>(c);
        n.key = static_cast<std::uint8_t>(key);
        n.velocity = static_cast<std::uint8_t>(velocity);
        n.program = static_cast<std::uint8_t>(ch.program);
        n.pan = static_cast<std::uint8_t>(ch.pan);
        n.velocity_db = SourceLevelDb(velocity, 127, 127);
        n.channel_db = ch.ChannelDb();
        n.bend_cents = ch.BendCents();
        n.modulation = static_cast<std::uint8_t>(ch.modulation);
        n.next_change = static_cast<std::uint32_t>(perf_.changes[c].size());
        ch.open.push_back({perf_.notes.size(), false});
        perf_.notes.push_back(n);
    }

    void Control(unsigned c, ChannelState& ch, int cc, int value, const Moment& at) {
        switch (cc) {
            case kCcVolume:
            case kCcExpression:
                (cc == kCcVolume ? ch.volume : ch.expression) = value;
                Change(c, at, ChannelChange::Level, ch.ChannelDb());
                break;
            case kCcModulation:
                ch.modulation = value;
                Change(c, at, ChannelChange::Modulation, value);
                break;
            case kCcPan:
                ch.pan = value;
                Change(c, at, ChannelChange::Pan, 0);
                break;
            case kCcRpnMsb:
            case kCcRpnLsb:
                (cc == kCcRpnMsb ? ch.rpn_msb : ch.rpn_lsb) = value;
                ch.rpn_selected = true;
                break;
            case kCcNrpnMsb:
            case kCcNrpnLsb:
                ch.rpn_selected = false;
                break;
            case kCcDataEntry:
                if (ch.BendRangeSelected()) ch.bend_range = value * 100 + ch.bend_range % 100;
                break;
            case kCcDataEntryFine:
                if (ch.BendRangeSelected()) ch.bend_range = ch.bend_range / 100 * 100 + std::min(value, 99);
                break;
            case kCcSustain:
                ch.pedal = value >= kPedalDown;
                if (!ch.pedal) EndWhere(ch, at, [](const ChannelState::Open& o) { return o.released; });
                break;
            case kCcLoopPoint:
            case kCcLoopStart:
                perf_.loop_points.push_back(at);
                break;
            case kCcAllSoundOff:
                EndWhere(ch, at, [](const ChannelState::Open&) { return true; });
                break;
            case kCcResetAllControllers:
                ch.expression = kDefaultExpression;
                ch.bend = 0;
                ch.modulation = 0;
                ch.rpn_msb = ch.rpn_lsb = kNull;
                Change(c, at, ChannelChange::Level, ch.ChannelDb());
                Change(c, at, ChannelChange::Bend, 0);
                Change(c, at, ChannelChange::Modulation, 0);
                ch.pedal = false;
                EndWhere(ch, at, [](const ChannelState::Open& o) { return o.released; });
                break;
            default:
                if (cc >= static_cast<int>(kCcAllNotesOff)) {
                    for (ChannelState::Open& o : ch.open) o.released = true;
                    if (!ch.pedal) EndWhere(ch, at, [](const ChannelState::Open&) { return true; });
                }
                break;
        }
    }

    void Change(unsigned c, const Moment& at, ChannelChange::Kind kind, double value) {
        ChannelChange change;
        change.at = at;
        change.kind = kind;
        change.pan = static_cast<std::uint8_t>(channels_[c].pan);
        change.value = value;
        perf_.changes[c].push_back(change);
    }

    void End(ChannelState& ch, std::size_t i, const Moment& at) {
        perf_.notes[ch.open[i].note].end = at;
        ch.open.erase(ch.open.begin() + static_cast<std::ptrdiff_t>(i));
    }

    template <typename Pred>
    void EndWhere(ChannelState& ch, const Moment& at, Pred pred) {
        auto keep = std::stable_partition(ch.open.begin(), ch.open.end(),
                                          [&](const ChannelState::Open& o) { return !pred(o); });
        for (auto it = keep; it != ch.open.end(); ++it) perf_.notes[it->note].end = at;
        ch.open.erase(keep, ch.open.end());
    }

    const MIDI::Score& score_;
    const FrameTimeline& timeline_;
    ChannelState channels_[kMidiChannels];
    Performance perf_;
};

}  // namespace

Performance ReadPerformance(const MIDI::Score& score, const FrameTimeline& timeline) {
    return Reader(score, timeline).Read();
}

}  // namespace fmtool
