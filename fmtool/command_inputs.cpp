#include "fmtool/command_inputs.h"

#include <iostream>
#include <vector>

#include "instruments/fminst.h"
#include "instruments/gm_bank.h"
#include "instruments/voice_file.h"

namespace fmtool {

bool LoadCommandBank(const char* command, const std::string& path, FMInst& bank) {
    if (path.empty()) {
        const BankLoad load = LoadBankOrBuiltIn(bank, path);
        if (load.Ok()) return true;
        std::cerr << "fmtool " << command << ": " << load.Message() << std::endl;
        return false;
    }
    std::string error;
    std::vector<std::string> warnings;
    const bool loaded = LoadVoiceBank(path, bank, error, warnings);
    for (const std::string& w : warnings) std::cerr << w << '\n';
    if (!loaded) std::cerr << error << std::endl;
    return loaded;
}

bool ReadCommandScore(const std::string& path, MIDI::Score& score, std::unique_ptr<MIDI::DMIDI>* song) {
    const MIDI::SmfStatus status = MIDI::ReadScoreFile(path.c_str(), score, song);
    if (status == MIDI::SmfStatus::Ok) return true;
    std::cerr << MIDI::SmfMessage(status) << std::endl;
    return false;
}

}  // namespace fmtool
