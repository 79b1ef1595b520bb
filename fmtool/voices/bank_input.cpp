#include "fmtool/voices/bank_input.h"

#include <iostream>
#include <vector>

#include "instruments/voice_file.h"

namespace fmtool {

bool LoadCommandBank(FMInst& bank, const std::string& path) {
    std::string error;
    std::vector<std::string> warnings;
    if (!LoadVoiceBank(path, bank, error, warnings)) {
        std::cerr << error << std::endl;
        return false;
    }
    for (const std::string& w : warnings) std::cerr << path << ": " << w << std::endl;
    return true;
}

}  // namespace fmtool
