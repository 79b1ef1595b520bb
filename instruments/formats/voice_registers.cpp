#include "instruments/formats/voice_registers.h"

#include <algorithm>

#include "chips/ym2612_map.h"

namespace voiceformat {

namespace {

constexpr std::int32_t kPanBoth = 3;      // PAN 192 once shifted: both outputs
constexpr std::int32_t kAllSlots = 120;   // SLOT: all four operators
constexpr std::uint8_t kSsgEgBits = 0x0F;

std::uint32_t U(std::int32_t value) { return static_cast<std::uint32_t>(value); }

struct FieldRange {
    const char* name;
    std::int32_t FmOperator::*field;
    std::int32_t max;
};
constexpr FieldRange kOperatorFields[] = {
    {"MUL", &FmOperator::mul, 15}, {"DT1", &FmOperator::dt1, 7}, {"TL", &FmOperator::tl, 127},
    {"KS", &FmOperator::ks, 3},    {"AR", &FmOperator::ar, 31},  {"D1R", &FmOperator::d1r, 31},
    {"D2R", &FmOperator::d2r, 31}, {"D1L", &FmOperator::d1l, 15}, {"RR", &FmOperator::rr, 15},
    {"AMS-EN", &FmOperator::ams_en, 1},
};

std::string RangeLine(const std::string& field, std::int32_t value, std::int32_t max) {
    // Two's complement masking, as the converter's writes do.
    const std::int32_t read = static_cast<std::int32_t>(U(value) & U(max));
    return field + " " + std::to_string(value) + " is outside 0-" + std::to_string(max) + ": the chip reads " +
           std::to_string(read);
}

}  // namespace

const char* const kOperatorNames[4] = {"M1", "M2", "C1", "C2"};

bool AlgorithmAndFeedbackFit(unsigned algorithm, unsigned feedback, std::string& why) {
    if (algorithm <= 7 && feedback <= 7) return true;
    why = "has algorithm " + std::to_string(algorithm) + " and feedback " + std::to_string(feedback) +
          "; both must be 0-7";
    return false;
}

OperatorImage ReadOperatorImage(const std::uint8_t* p) {
    // Bits of the register images that hold a field.
    constexpr std::uint8_t kDetuneMulBits = 0x7F, kTlBits = 0x7F, kKsArBits = 0xDF, kAmD1rBits = 0x9F,
                           kD2rBits = 0x1F;
    OperatorImage o;
    o.dt_mul = p[0] & kDetuneMulBits;
    o.tl = p[1] & kTlBits;
    o.ks_ar = p[2] & kKsArBits;
    o.am_d1r = p[3] & kAmD1rBits;
    o.d2r = p[4] & kD2rBits;
    o.d1l_rr = p[5];
    o.ssg_eg = p[6] & kSsgEgBits;
    return o;
}

void WriteOperatorImage(const OperatorImage& o, std::uint8_t* p) {
    p[0] = o.dt_mul;
    p[1] = o.tl;
    p[2] = o.ks_ar;
    p[3] = o.am_d1r;
    p[4] = o.d2r;
    p[5] = o.d1l_rr;
    p[6] = o.ssg_eg;
}

bool VoiceImage::operator==(const VoiceImage& o) const {
    for (unsigned r = 0; r < 4; ++r) {
        const OperatorImage& a = op[r];
        const OperatorImage& b = o.op[r];
        if (a.dt_mul != b.dt_mul || a.tl != b.tl || a.ks_ar != b.ks_ar || a.am_d1r != b.am_d1r ||
            a.d2r != b.d2r || a.d1l_rr != b.d1l_rr || a.ssg_eg != b.ssg_eg)
            return false;
    }
    return fb_alg == o.fb_alg && lfo_sens == o.lfo_sens;
}

VoiceImage ToImage(const FmVoice& v, const VoiceExtras& extras) {
    VoiceImage image;
    for (unsigned r = 0; r < 4; ++r) {
        const FmOperator& o = v.op[r];
        OperatorImage& out = image.op[r];
        out.dt_mul = YM2612::DetuneMul(U(o.dt1), U(o.mul));
        out.tl = static_cast<std::uint8_t>(YM2612::TlOf(static_cast<std::uint8_t>(o.tl)));
        // The packers keep a sixth rate bit the chip does not read.
        out.ks_ar = YM2612::KeyScaleAttack(U(o.ks), U(o.ar) & 0x1F);
        out.am_d1r = YM2612::AmDecay1(U(o.ams_en), U(o.d1r) & 0x1F);
        out.d2r = static_cast<std::uint8_t>(YM2612::D2rOf(static_cast<std::uint8_t>(o.d2r)));
        out.d1l_rr = YM2612::SustainRelease(U(o.d1l), U(o.rr));
        out.ssg_eg = extras.ssg_eg[r] & kSsgEgBits;
    }
    image.fb_alg = YM2612::FeedbackAlgorithm(U(v.fl), U(v.con));
    image.lfo_sens = YM2612::LfoSensitivity(U(v.ams), U(v.pms));
    return image;
}

FmVoice ChipVoice() {
    FmVoice v;
    v.pan = kPanBoth;
    v.slot_mask = kAllSlots;
    return v;
}

void FromImage(const VoiceImage& image, FmVoice& v, VoiceExtras& extras) {
    v = ChipVoice();
    for (unsigned r = 0; r < 4; ++r) {
        const OperatorImage& in = image.op[r];
        FmOperator& o = v.op[r];
        o.dt1 = static_cast<std::int32_t>(YM2612::Dt1Of(in.dt_mul));
        o.mul = static_cast<std::int32_t>(YM2612::MulOf(in.dt_mul));
        o.tl = static_cast<std::int32_t>(YM2612::TlOf(in.tl));
        o.ks = static_cast<std::int32_t>(YM2612::KsOf(in.ks_ar));
        o.ar = static_cast<std::int32_t>(YM2612::ArOf(in.ks_ar));
        o.ams_en = static_cast<std::int32_t>(YM2612::AmOf(in.am_d1r));
        o.d1r = static_cast<std::int32_t>(YM2612::D1rOf(in.am_d1r));
        o.d2r = static_cast<std::int32_t>(YM2612::D2rOf(in.d2r));
        o.d1l = static_cast<std::int32_t>(YM2612::D1lOf(in.d1l_rr));
        o.rr = static_cast<std::int32_t>(YM2612::RrOf(in.d1l_rr));
        o.dt2 = 0;
        extras.ssg_eg[r] = in.ssg_eg & kSsgEgBits;
    }
    v.fl = static_cast<std::int32_t>(YM2612::FeedbackOf(image.fb_alg));
    v.con = static_cast<std::int32_t>(YM2612::AlgorithmOf(image.fb_alg));
    v.ams = static_cast<std::int32_t>(YM2612::AmsOf(image.lfo_sens));
    v.pms = static_cast<std::int32_t>(YM2612::PmsOf(image.lfo_sens));
}

std::vector<std::string> OutOfRange(const FmVoice& v) {
    std::vector<std::string> lines;
    for (unsigned r = 0; r < 4; ++r) {
        for (const FieldRange& f : kOperatorFields) {
            const std::int32_t value = v.op[r].*f.field;
            if (value < 0 || value > f.max)
                lines.push_back(RangeLine(std::string(kOperatorNames[r]) + " " + f.name, value, f.max));
        }
    }
    const FieldRange channel[] = {{"FL", nullptr, 7}, {"CON", nullptr, 7}, {"AMS", nullptr, 3}, {"PMS", nullptr, 7}};
    const std::int32_t values[] = {v.fl, v.con, v.ams, v.pms};
    for (std::size_t i = 0; i < std::size(values); ++i) {
        if (values[i] < 0 || values[i] > channel[i].max)
            lines.push_back(RangeLine(channel[i].name, values[i], channel[i].max));
    }
    return lines;
}

VoiceImage WriterImage(const BankVoice& voice, std::vector<std::string>& losses) {
    for (const std::string& line : OutOfRange(voice.voice)) losses.push_back(line);
    return ToImage(voice.voice, voice.extras);
}

bool AnyAm(const VoiceImage& image) {
    return std::any_of(std::begin(image.op), std::end(image.op),
                       [](const OperatorImage& o) { return YM2612::AmOf(o.am_d1r) != 0; });
}

bool AnySsgEg(const VoiceImage& image) {
    return std::any_of(std::begin(image.op), std::end(image.op), [](const OperatorImage& o) { return o.ssg_eg != 0; });
}

}  // namespace voiceformat
