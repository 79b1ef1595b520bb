#include "fmtool/check/loss_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <tuple>

#include "fmtool/check/score_times.h"
#include "instruments/fminst.h"
#include "sequencer/sequencer_rules.h"
#include "smf/read_song.h"
#include "smf/smf_format.h"

namespace fmtool {

namespace {

using namespace MIDI;  // the SMF vocabulary and the sequencer's rules

constexpr unsigned kSquareBendRange = 12;  // the square driver bends an octave

// Pseudo controller numbers of other ignored messages.
constexpr int kParamKeyPressure = 128;
constexpr int kParamChannelPressure = 129;
constexpr int kParamNoiseBend = 130;
constexpr int kParamSquareProgram = 131;

// Notes the chips cannot play as written.
constexpr unsigned kFirstFmClampedNote = 96;    // octave 8: past block 7
constexpr unsigned kFirstSquareFreeNote = 33;   // notes below share period 1023
constexpr double kOneFrame = 1.0 / MIDI::kFramesPerSecond;


// A controller value that asks for what the converter plays anyway, so that
// ignoring it loses nothing: no modulation, pedals up, full volume, the
// first bank, no effects.
bool IsNeutral(unsigned cc, unsigned value, unsigned ch) {
    switch (cc) {
        case 0: case 1: case 2: case 4: case 32: case 91: case 92: case 93: case 94: case 95: return value == 0;
        case kCcPortamentoTime: return value == 0;  // on the squares and noise
        case 7: return value == 127;
        case 8: return value == 64;
        case kCcPan: return value == 64;  // on the squares and noise
        case kCcExpression: return IsFmChannel(ch) && value == 127;
        case 64: case 65: case 66: case 67: case 68: case 69: return value < 64;
        default: return false;
    }
}

bool IsDefaultVoice(const FmVoice& v) {
    static const FmVoice kDefault;
    auto same_op = [](const FmOperator& a, const FmOperator& b) {
        return std::tie(a.mul, a.tl, a.ks, a.ar, a.d1r, a.d2r, a.d1l, a.rr, a.dt1, a.dt2, a.ams_en) ==
               std::tie(b.mul, b.tl, b.ks, b.ar, b.d1r, b.d2r, b.d1l, b.rr, b.dt1, b.dt2, b.ams_en);
    };
    for (int i = 0; i < 4; ++i)
        if (!same_op(v.op[i], kDefault.op[i])) return false;
    return std::tie(v.pan, v.fl, v.con, v.slot_mask, v.ne, v.pms, v.ams, v.lfrq, v.amd, v.pmd, v.wf, v.nfrq) ==
           std::tie(kDefault.pan, kDefault.fl, kDefault.con, kDefault.slot_mask, kDefault.ne, kDefault.pms,
                    kDefault.ams, kDefault.lfrq, kDefault.amd, kDefault.pmd, kDefault.wf, kDefault.nfrq);
}

Severity SeverityOf(FindingKind kind) {
    if (kind == FindingKind::kOctaveUp) return Severity::kInfo;
    return kind <= FindingKind::kCutShort ? Severity::kLost : Severity::kChanged;
}

// Findings gathered by channel, kind and parameter, each with its first occurrence.
class Collector {
public:
    explicit Collector(const ScoreTimes& times) : times_(times) {}

    Finding& Add(int channel, FindingKind kind, int param, std::uint32_t event, std::uint64_t count = 1) {
        auto [it, fresh] = found_.try_emplace(std::make_tuple(channel, static_cast<int>(kind), param));
        Finding& f = it->second;
        if (fresh) {
            f.kind = kind;
            f.severity = SeverityOf(kind);
            f.channel = channel;
            f.param = param;
            f.first_event = event;
            const ScorePlace place = times_.Place(event);
            f.first_seconds = place.seconds;
            f.first_bar = place.bar_beat;
            f.bar_known = place.known;
        }
        f.count += count;
        return f;
    }

    const std::map<std::tuple<int, int, int>, Finding>& found() const { return found_; }

private:
    const ScoreTimes& times_;
    std::map<std::tuple<int, int, int>, Finding> found_;
};

void NoteFindings(const PlaybackModel& model, const FMInst& bank, Collector& c, LossReport& report,
                  std::uint64_t notes[16], std::uint64_t heard[16]) {
    for (const ModelNote& n : model.notes) {
        const int ch = n.channel;
        ++notes[ch];
        switch (n.fate) {
            case NoteFate::kHeard: break;
            case NoteFate::kChannelNotPlayed: c.Add(ch, FindingKind::kChannelNotPlayed, -1, n.event); continue;
            case NoteFate::kNoProgram: c.Add(ch, FindingKind::kNoProgram, -1, n.event); continue;
            case NoteFate::kSilentVoice:
                c.Add(ch, IsDefaultVoice(bank.voice[n.program]) ? FindingKind::kDefaultProgram : FindingKind::kSilentVoice,
                      n.program, n.event);
                continue;
            case NoteFate::kSilentExpression: c.Add(ch, FindingKind::kSilentExpression, -1, n.event); continue;
            case NoteFate::kPeriodZero: c.Add(ch, FindingKind::kPeriodZero, -1, n.event); continue;
            case NoteFate::kNeverHeard: c.Add(ch, FindingKind::kNeverHeard, -1, n.event); continue;
        }
        ++heard[ch];
        ++report.heard;
        if (std::uint64_t{n.played_frames} * 2 < n.written_frames) c.Add(ch, FindingKind::kCutShort, -1, n.event);
        if (IsFmChannel(ch) && n.key >= kFirstFmClampedNote) c.Add(ch, FindingKind::kFmTooHigh, -1, n.event);
        if (IsSquareChannel(ch) && n.key < kFirstSquareFreeNote) c.Add(ch, FindingKind::kSquareTooLow, -1, n.event);
        if (IsDcsgChannel(ch) && n.velocity < kMaxVelocity) c.Add(ch, FindingKind::kVelocityIgnored, -1, n.event);
        if (ch != static_cast<int>(kMidiNoiseChannel)) c.Add(-1, FindingKind::kOctaveUp, -1, n.event);
    }
}

// What the song asks of the controllers, bends and programs that the
// converter ignores or reads its own way. Channels 11-16 are left out: they
// are not played at all.
void ControlFindings(const MIDI::DMIDI& song, Collector& c) {
    struct Params {
        unsigned rpn_msb = 0, rpn_lsb = 0;  // as the converter tracks them
        bool nrpn = false;                  // the song's last selection was non-registered
        bool range_set = false;
        unsigned range = kDefaultBendRange;
    } state[kPlayedChannels];

    for (std::uint32_t i = 0; i < song.events.size(); ++i) {
        const MIDI::DMIDI_EVENT& e = song.events[i];
        const unsigned ch = e.channel;
        if (e.status == MIDI::kStatusSystem || ch >= kPlayedChannels) continue;
        Params& p = state[ch];
        switch (e.status & 0xF0) {
            case kControlChange: {
                const unsigned cc = e.data1, v = e.data2;
                if (cc == kCcRpnMsb || cc == kCcRpnLsb) {
                    (cc == kCcRpnMsb ? p.rpn_msb : p.rpn_lsb) = v;
                    p.nrpn = false;
                } else if (cc == kCcNrpnMsb || cc == kCcNrpnLsb) {
                    p.nrpn = true;
                    c.Add(ch, FindingKind::kIgnoredController, cc, i);
                } else if (cc == kCcDataEntry) {
                    if (p.rpn_msb != 0 || p.rpn_lsb != 0) {
                        c.Add(ch, FindingKind::kIgnoredController, cc, i);
                        break;
                    }
                    p.range_set = true;
                    p.range = BendRangeOfDataEntry(v);
                    if (p.nrpn) c.Add(ch, FindingKind::kDataEntryMisread, -1, i);
                    if (v > kMaxBendRange && IsFmChannel(ch)) c.Add(ch, FindingKind::kBendRangeOff, -1, i);
                } else if (cc == kCcPan && IsFmChannel(ch)) {
                    if (v != 0 && v != 64 && v != 127) c.Add(ch, FindingKind::kPanBetween, -1, i);
                } else if (cc == kCcLoopPoint || (cc == kCcPortamentoTime && IsFmChannel(ch)) ||
                           (cc == kCcExpression && IsDcsgChannel(ch))) {
                    // honoured
                } else if (!IsNeutral(cc, v, ch)) {
                    c.Add(ch, FindingKind::kIgnoredController, cc, i);
                }
                break;
            }
            case kPitchBend:
                if (e.bend() == 0) break;
                if (IsFmChannel(ch) && !p.range_set) c.Add(ch, FindingKind::kBendNoRange, -1, i);
                if (IsSquareChannel(ch) && (!p.range_set || p.range != kSquareBendRange))
                    c.Add(ch, FindingKind::kSquareBendOctave, -1, i);
                if (ch == kMidiNoiseChannel) c.Add(ch, FindingKind::kIgnoredController, kParamNoiseBend, i);
                break;
            case kKeyPressure: c.Add(ch, FindingKind::kIgnoredController, kParamKeyPressure, i); break;
            case kChannelPressure:
                if (e.data1 != 0) c.Add(ch, FindingKind::kIgnoredController, kParamChannelPressure, i);
                break;
            case kProgramChange:
                if (IsSquareChannel(ch)) c.Add(ch, FindingKind::kIgnoredController, kParamSquareProgram, i);
                break;
            default: break;
        }
    }
}

void SongFindings(const MIDI::Score& score, const MIDI::DMIDI& song, const ScoreTimes& times, Collector& c) {
    if (song.events.size() < 2) return;
    const auto last = static_cast<std::uint32_t>(song.events.size() - 2);  // before the end event
    const double written_end = times.Seconds(last);

    // Tempos the reader cuts to a whole number of beats per minute.
    std::uint64_t rounded = 0;
    std::uint32_t first_rounded = 0;
    for (std::uint32_t i = 0; i <= last; ++i) {
        const std::int64_t at = times.ScoreIndex(i);
        if (!song.events[i].is_tempo() || at < 0) continue;
        const double exact = 60e6 / score.events[static_cast<std::size_t>(at)].payload;
        if (std::fabs(exact - song.events[i].tempo()) > 1e-9) {
            if (rounded++ == 0) first_rounded = i;
        }
    }
    const double played_end = song.events[last].clock * kOneFrame;
    // The frames and the reader's 48 ticks a quarter move the end by a frame
    // either way; only a slowdown past that is worth a line.
    if (rounded > 0 && written_end > 0 && played_end - written_end >= kOneFrame) {
        Finding& f = c.Add(-1, FindingKind::kTempoRounded, -1, first_rounded, rounded);
        f.percent = (played_end / written_end - 1) * 100;
        f.seconds = played_end - written_end;
    }

    const double rest = score.EndSeconds() - written_end;
    if (rest >= kOneFrame) c.Add(-1, FindingKind::kRestCut, -1, last).seconds = rest;
}

std::string Plural(std::uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Number(double value, const char* format) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

const char* ControllerName(int cc) {
    switch (cc) {
        case 0: return "bank select";
        case 1: return "modulation";
        case 2: return "breath";
        case 4: return "foot pedal";
        case 5: return "portamento time, FM only";
        case 6: return "data entry for a parameter other than the bend range";
        case 7: return "volume";
        case 8: return "balance";
        case 10: return "pan, FM only";
        case 11: return "expression, squares and noise only";
        case 32: return "bank select LSB";
        case 38: return "data entry LSB";
        case 64: return "sustain pedal";
        case 65: return "portamento switch";
        case 66: return "sostenuto pedal";
        case 67: return "soft pedal";
        case 71: return "resonance";
        case 72: return "release time";
        case 73: return "attack time";
        case 74: return "brightness";
        case 91: return "reverb";
        case 93: return "chorus";
        case 98: return "non-registered parameter LSB";
        case 99: return "non-registered parameter MSB";
        case 120: return "all sound off";
        case 121: return "reset all controllers";
        case 123: return "all notes off";
        default: return nullptr;
    }
}

}  // namespace

std::string Finding::Text() const {
    const std::string p = std::to_string(param);
    switch (kind) {
        case FindingKind::kChannelNotPlayed: return Plural(count, "note", "notes") + " not played: channels 11-16 have no chip channel";
        case FindingKind::kNoProgram: return Plural(count, "note", "notes") + " before any program change: no FM voice is loaded, so they are silent";
        case FindingKind::kDefaultProgram: return Plural(count, "note", "notes") + " on program " + p + ", which the bank leaves at the silent default voice";
        case FindingKind::kSilentVoice: return Plural(count, "note", "notes") + " on program " + p + ", whose voice is silent at their velocity (every carrier at total level 127)";
        case FindingKind::kSilentExpression: return Plural(count, "note", "notes") + " silenced by expression: controller 11 below 8 is the chip's silent level";
        case FindingKind::kPeriodZero: return Plural(count, "note", "notes") + " at the square chip's silent period 0 (above note 107, or bent there)";
        case FindingKind::kNeverHeard: return Plural(count, "note", "notes") + " never heard: another note or a note-off replaces them within their 1/60 s frame";
        case FindingKind::kCutShort: return Plural(count, "note", "notes") + " cut to less than half their length by an overlapping note (one note at a time per channel)";
        case FindingKind::kFmTooHigh: return Plural(count, "note", "notes") + " above 95 play in the FM key table's top octave, one or more octaves low";
        case FindingKind::kSquareTooLow: return Plural(count, "note", "notes") + " below 33 all play at the square chip's lowest pitch";
        case FindingKind::kVelocityIgnored: return Plural(count, "velocity", "velocities") + " below 127 with no effect: loudness here comes from expression (controller 11)";
        case FindingKind::kIgnoredController: {
            std::string what;
            if (param == kParamKeyPressure) what = "key pressure (aftertouch)";
            else if (param == kParamChannelPressure) what = "channel pressure (aftertouch)";
            else if (param == kParamNoiseBend) what = "pitch bend (the noise channel has no pitch)";
            else if (param == kParamSquareProgram) what = "program change (the squares have one sound)";
            else what = ControllerName(param) ? "controller " + p + " (" + ControllerName(param) + ")" : "controller " + p;
            return Plural(count, "event", "events") + " of " + what + " with no effect";
        }
        case FindingKind::kPanBetween: return Plural(count, "pan", "pans") + " between the extremes play hard left or right";
        case FindingKind::kBendNoRange: return Plural(count, "pitch bend", "pitch bends") + " with no bend range set span +-12 semitones (General MIDI files assume +-2)";
        case FindingKind::kSquareBendOctave: return Plural(count, "pitch bend", "pitch bends") + " on the square chip span one octave, whatever the bend range";
        case FindingKind::kBendRangeOff: return Plural(count, "bend range", "bend ranges") + " above " + std::to_string(kMaxBendRange) +
                                                  " semitones switch pitch bend off";
        case FindingKind::kDataEntryMisread: return Plural(count, "data entry", "data entries") + " meant for a non-registered parameter read as a bend range";
        case FindingKind::kTempoRounded:
            return Plural(count, "tempo", "tempos") + " not in whole BPM cut to whole numbers: the song plays " +
                   Number(std::fabs(percent), "%.2f") + (percent >= 0 ? " % slower and ends " : " % faster and ends ") +
                   Number(std::fabs(seconds), "%.2f") + (seconds >= 0 ? " s late" : " s early");
        case FindingKind::kRestCut:
            return "the " + Number(seconds, "%.1f") + " s rest after the last event is cut";
        case FindingKind::kOctaveUp: return "every note sounds one octave above its written pitch";
    }
    return {};
}

const char* Finding::Name() const {
    switch (kind) {
        case FindingKind::kChannelNotPlayed: return "channel_not_played";
        case FindingKind::kNoProgram: return "no_program";
        case FindingKind::kDefaultProgram: return "default_program";
        case FindingKind::kSilentVoice: return "silent_voice";
        case FindingKind::kSilentExpression: return "silent_expression";
        case FindingKind::kPeriodZero: return "period_zero";
        case FindingKind::kNeverHeard: return "never_heard";
        case FindingKind::kCutShort: return "cut_short";
        case FindingKind::kFmTooHigh: return "fm_too_high";
        case FindingKind::kSquareTooLow: return "square_too_low";
        case FindingKind::kVelocityIgnored: return "velocity_ignored";
        case FindingKind::kIgnoredController: return "ignored_controller";
        case FindingKind::kPanBetween: return "pan_between";
        case FindingKind::kBendNoRange: return "bend_no_range";
        case FindingKind::kSquareBendOctave: return "square_bend_octave";
        case FindingKind::kBendRangeOff: return "bend_range_off";
        case FindingKind::kDataEntryMisread: return "data_entry_misread";
        case FindingKind::kTempoRounded: return "tempo_rounded";
        case FindingKind::kRestCut: return "rest_cut";
        case FindingKind::kOctaveUp: return "octave_up";
    }
    return "";
}

bool LossReport::LosesAnything() const {
    if (!channels.empty()) return true;
    return std::any_of(song.begin(), song.end(), [](const Finding& f) { return f.severity != Severity::kInfo; });
}

double LossReport::HeardPercent() const { return notes == 0 ? 100.0 : 100.0 * heard / notes; }

std::string ChannelTitle(int channel) {
    std::string title = "MIDI channel " + std::to_string(channel + 1);
    if (IsFmChannel(channel)) return title + " (FM " + std::to_string(channel + 1) + ")";
    if (IsSquareChannel(channel)) return title + " (square " + std::to_string(channel - kFirstDcsgChannel + 1) + ")";
    if (channel == static_cast<int>(kMidiNoiseChannel)) return title + " (noise)";
    return title + " (not played)";
}

LossReport BuildLossReport(const MIDI::Score& score, const MIDI::DMIDI& song, const FMInst& bank) {
    LossReport report;
    const PlaybackModel model = ModelPlayback(song, bank);
    std::copy(std::begin(model.chip_sounds), std::end(model.chip_sounds), report.chip_sounds);
    report.notes = model.notes.size();

    const ScoreTimes times(score, song);
    Collector c(times);
    std::uint64_t notes[16] = {}, heard[16] = {};
    NoteFindings(model, bank, c, report, notes, heard);
    ControlFindings(song, c);
    SongFindings(score, song, times, c);

    std::map<int, ChannelReport> by_channel;
    for (const auto& [key, f] : c.found()) {
        if (f.channel < 0) {
            report.song.push_back(f);
            continue;
        }
        ChannelReport& r = by_channel[f.channel];
        r.channel = f.channel;
        r.notes = notes[f.channel];
        r.heard = heard[f.channel];
        r.findings.push_back(f);
    }
    auto order = [](const Finding& a, const Finding& b) {
        return std::make_tuple(a.severity, -static_cast<std::int64_t>(a.count), a.kind, a.param) <
               std::make_tuple(b.severity, -static_cast<std::int64_t>(b.count), b.kind, b.param);
    };
    for (auto& [ch, r] : by_channel) {
        std::sort(r.findings.begin(), r.findings.end(), order);
        report.channels.push_back(std::move(r));
    }
    std::sort(report.song.begin(), report.song.end(), order);
    // Worst first: most notes lost, then most findings of loss.
    auto losses = [](const ChannelReport& r) {
        return std::count_if(r.findings.begin(), r.findings.end(),
                             [](const Finding& f) { return f.severity == Severity::kLost; });
    };
    std::stable_sort(report.channels.begin(), report.channels.end(),
                     [&losses](const ChannelReport& a, const ChannelReport& b) {
                         const std::uint64_t la = a.notes - a.heard, lb = b.notes - b.heard;
                         if (la != lb) return la > lb;
                         return losses(a) > losses(b);
                     });
    return report;
}

}  // namespace fmtool
