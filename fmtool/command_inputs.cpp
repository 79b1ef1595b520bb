#include "fmtool/command_inputs.h"

#include <iostream>

#include "instruments/fminst.h"
#include "instruments/gm_bank.h"

namespace fmtool {

bool LoadCommandBank(const char* command, const std::string& path, FMInst& bank) {
    const BankLoad load = LoadBankOrBuiltIn(bank, path);
    for (OpmLine line : load.skipped) std::cerr << OpmSyntaxMessage(line) << '\n';
    if (load.Ok()) return true;
    std::cerr << (load.built_in ? std::string("fmtool ") + command + ": " : std::string()) << load.Message()
              << std::endl;
    return false;
}

bool ReadCommandScore(const std::string& path, MIDI::Score& score, std::unique_ptr<MIDI::DMIDI>* song) {
    const MIDI::SmfStatus status = MIDI::ReadScoreFile(path.c_str(), score, song);
    if (status == MIDI::SmfStatus::Ok) return true;
    std::cerr << MIDI::SmfMessage(status) << std::endl;
    return false;
}

}  // namespace fmtool
