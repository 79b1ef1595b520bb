// DMP, a DefleMask FM preset. Version 11 (0x0B): version, system (2 =
// Genesis), mode (1 = FM), then the body; version 10 lacks the system byte
// and is taken as a Genesis preset. Body: FMS, FB, ALG, AMS, then four
// operators of 11 bytes in register order (MUL, TL, AR, DR, SL, RR, AM, RS,
// DT in the offset code, D2R, SSG-EG). No name: DefleMask uses the file's.
// Older versions are undocumented and refused.
#include "instruments/formats/formats.h"
#include "instruments/formats/voice_registers.h"

#include "chips/ym2612_map.h"

namespace voiceformat {

namespace {

constexpr std::uint8_t kVersion10 = 0x0A, kVersion11 = 0x0B;
constexpr std::uint8_t kSystemGenesis = 0x02;
constexpr std::uint8_t kModeFm = 1;
constexpr std::size_t kBody = 4 + 4 * 11;
constexpr std::size_t kOperatorBytes = 11;

enum : std::size_t { kFms, kFb, kAlg, kAms, kOps };
enum : std::size_t { kMul, kTl, kAr, kDr, kSl, kRr, kAm, kRs, kDt, kD2r, kSsg };

struct Field {
    std::size_t at;
    unsigned max;
    const char* name;
};
constexpr Field kChannelFields[] = {{kFms, 7, "FMS"}, {kFb, 7, "FB"}, {kAlg, 7, "ALG"}, {kAms, 3, "AMS"}};
constexpr Field kOperatorFields[] = {{kMul, 15, "MUL"}, {kTl, 127, "TL"}, {kAr, 31, "AR"},  {kDr, 31, "DR"},
                                     {kSl, 15, "SL"},   {kRr, 15, "RR"},  {kAm, 1, "AM"},   {kRs, 3, "RS"},
                                     {kDt, 6, "DT"},    {kD2r, 31, "D2R"}, {kSsg, 15, "SSG-EG"}};

}  // namespace

bool ReadDmp(const std::uint8_t* data, std::size_t size, BankVoice& out, std::string& why) {
    if (size == 0) {
        why = "is empty";
        return false;
    }
    const std::uint8_t version = data[0];
    if (version != kVersion10 && version != kVersion11) {
        why = "is a DMP of version " + std::to_string(version) + "; only versions 10 and 11 are read";
        return false;
    }
    const std::size_t head = version == kVersion11 ? 3 : 2;
    if (size != head + kBody) {
        why = "is " + std::to_string(size) + " bytes; an FM preset of version " + std::to_string(version) + " is " +
              std::to_string(head + kBody) + (size > 2 && data[head - 1] != kModeFm ? " (not an FM preset?)" : "");
        return false;
    }
    if (version == kVersion11 && data[1] != kSystemGenesis) {
        why = "is a preset for system " + std::to_string(data[1]) + ", not the Genesis (2)";
        return false;
    }
    if (data[head - 1] != kModeFm) {
        why = "is not an FM preset (mode " + std::to_string(data[head - 1]) + ")";
        return false;
    }
    const std::uint8_t* body = data + head;
    for (const Field& f : kChannelFields) {
        if (body[f.at] > f.max) {
            why = std::string(f.name) + " is " + std::to_string(body[f.at]) + ", above " + std::to_string(f.max);
            return false;
        }
    }
    out.voice = ChipVoice();
    out.voice.pms = body[kFms];
    out.voice.fl = body[kFb];
    out.voice.con = body[kAlg];
    out.voice.ams = body[kAms];
    for (unsigned r = 0; r < 4; ++r) {
        const std::uint8_t* p = body + kOps + kOperatorBytes * r;
        for (const Field& f : kOperatorFields) {
            if (p[f.at] > f.max) {
                why = std::string("operator ") + kOperatorNames[r] + " " + f.name + " is " +
                      std::to_string(p[f.at]) + ", above " + std::to_string(f.max);
                return false;
            }
        }
        FmOperator& o = out.voice.op[r];
        o.mul = p[kMul];
        o.tl = p[kTl];
        o.ar = p[kAr];
        o.d1r = p[kDr];
        o.d1l = p[kSl];
        o.rr = p[kRr];
        o.ams_en = p[kAm];
        o.ks = p[kRs];
        o.dt1 = DetuneOfOffset(p[kDt]);
        o.d2r = p[kD2r];
        out.extras.ssg_eg[r] = p[kSsg] >= 8 ? p[kSsg] : 0;  // 1-7 lack the enable bit: off
    }
    return true;
}

Bytes WriteDmp(const BankVoice& voice, std::vector<std::string>& losses) {
    const VoiceImage image = WriterImage(voice, losses);
    Bytes out{kVersion11, kSystemGenesis, kModeFm};
    out.resize(3 + kBody, 0);
    std::uint8_t* body = &out[3];
    body[kFms] = static_cast<std::uint8_t>(YM2612::PmsOf(image.lfo_sens));
    body[kFb] = static_cast<std::uint8_t>(YM2612::FeedbackOf(image.fb_alg));
    body[kAlg] = static_cast<std::uint8_t>(YM2612::AlgorithmOf(image.fb_alg));
    body[kAms] = static_cast<std::uint8_t>(YM2612::AmsOf(image.lfo_sens));
    for (unsigned r = 0; r < 4; ++r) {
        std::uint8_t* p = body + kOps + kOperatorBytes * r;
        const OperatorImage& o = image.op[r];
        p[kMul] = static_cast<std::uint8_t>(YM2612::MulOf(o.dt_mul));
        p[kTl] = o.tl;
        p[kAr] = static_cast<std::uint8_t>(YM2612::ArOf(o.ks_ar));
        p[kDr] = static_cast<std::uint8_t>(YM2612::D1rOf(o.am_d1r));
        p[kSl] = static_cast<std::uint8_t>(YM2612::D1lOf(o.d1l_rr));
        p[kRr] = static_cast<std::uint8_t>(YM2612::RrOf(o.d1l_rr));
        p[kAm] = static_cast<std::uint8_t>(YM2612::AmOf(o.am_d1r));
        p[kRs] = static_cast<std::uint8_t>(YM2612::KsOf(o.ks_ar));
        p[kDt] = OffsetOfDetune(YM2612::Dt1Of(o.dt_mul));
        p[kD2r] = o.d2r;
        p[kSsg] = o.ssg_eg;
    }
    return out;
}

}  // namespace voiceformat
