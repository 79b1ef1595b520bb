#include "instruments/formats/tfm_operator.h"

#include "chips/ym2612_map.h"

namespace voiceformat {

namespace {

enum : std::size_t { kMul, kDt, kTl, kRs, kAr, kD1r, kD2r, kRr, kD1l, kSsg };

// The only reading of a decay byte above 31 consistent with the chip:
// register 0x60's layout, AM in bit 7.
constexpr std::uint8_t kAmBit = 0x80;

}  // namespace

bool ReadTfmOperator(const std::uint8_t* p, unsigned slot, bool am_in_decay, FmOperator& op, std::uint8_t& ssg_eg,
                     std::string& why) {
    struct Field {
        std::size_t at;
        unsigned max;
        const char* name;
    };
    std::uint8_t d1r = p[kD1r];
    if (am_in_decay) d1r &= static_cast<std::uint8_t>(~kAmBit);
    const Field fields[] = {{kMul, 15, "MUL"}, {kDt, 6, "DT"},   {kTl, 127, "TL"},  {kRs, 3, "RS"},
                            {kAr, 31, "AR"},   {kD2r, 31, "SR"}, {kRr, 15, "RR"},   {kD1l, 15, "SL"},
                            {kSsg, 15, "SSG-EG"}};
    for (const Field& f : fields) {
        if (p[f.at] > f.max) {
            why = std::string("operator ") + kOperatorNames[slot] + " " + f.name + " is " +
                  std::to_string(p[f.at]) + ", above " + std::to_string(f.max);
            return false;
        }
    }
    if (d1r > 31) {
        why = std::string("operator ") + kOperatorNames[slot] + " DR is " + std::to_string(p[kD1r]) + ", above 31";
        return false;
    }
    op.mul = p[kMul];
    op.dt1 = DetuneOfOffset(p[kDt]);
    op.tl = p[kTl];
    op.ks = p[kRs];
    op.ar = p[kAr];
    op.d1r = d1r;
    op.ams_en = am_in_decay && (p[kD1r] & kAmBit) ? 1 : 0;
    op.d2r = p[kD2r];
    op.rr = p[kRr];
    op.d1l = p[kD1l];
    // Values 1-7 lack the enable bit: off.
    ssg_eg = p[kSsg] >= 8 ? p[kSsg] : 0;
    return true;
}

void WriteTfmOperator(const OperatorImage& image, std::uint8_t* p) {
    p[kMul] = static_cast<std::uint8_t>(YM2612::MulOf(image.dt_mul));
    p[kDt] = OffsetOfDetune(YM2612::Dt1Of(image.dt_mul));
    p[kTl] = image.tl;
    p[kRs] = static_cast<std::uint8_t>(YM2612::KsOf(image.ks_ar));
    p[kAr] = static_cast<std::uint8_t>(YM2612::ArOf(image.ks_ar));
    p[kD1r] = static_cast<std::uint8_t>(YM2612::D1rOf(image.am_d1r));
    p[kD2r] = image.d2r;
    p[kRr] = static_cast<std::uint8_t>(YM2612::RrOf(image.d1l_rr));
    p[kD1l] = static_cast<std::uint8_t>(YM2612::D1lOf(image.d1l_rr));
    p[kSsg] = image.ssg_eg;
}

}  // namespace voiceformat
