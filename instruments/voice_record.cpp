#include "instruments/voice_record.h"

#include <algorithm>

const BankVoice* VoiceBank::Find(int program) const {
    for (const BankVoice& v : voices) {
        if (v.program == program) return &v;
    }
    return nullptr;
}

void VoiceBank::Put(BankVoice v) {
    auto at = std::lower_bound(voices.begin(), voices.end(), v.program,
                               [](const BankVoice& a, int program) { return a.program < program; });
    if (at != voices.end() && at->program == v.program) {
        *at = std::move(v);
    } else {
        voices.insert(at, std::move(v));
    }
}

void FillBank(const VoiceBank& voices, FMInst& bank) {
    for (const BankVoice& v : voices.voices) {
        if (v.program >= 0 && v.program < static_cast<int>(FMInst::kMaxInst)) bank.voice[v.program] = v.voice;
    }
}
