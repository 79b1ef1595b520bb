#include "fmtool/command_inputs.h"

#include <iostream>
#include <vector>

#include "fmtool/command_line.h"
#include "instruments/fminst.h"
#include "instruments/gm_bank.h"
#include "instruments/voice_file.h"
#include "smf/smf_status.h"

namespace fmtool {

namespace {

// "PATH: what the reader said", with why the file could not be opened when
// that was the trouble.
std::string Named(const std::string& path, const std::string& said, bool opening) {
    return path + ": " + ReaderVerdict(path, said, opening);
}

}  // namespace

bool LoadBank(const std::string& path, FMInst& bank, std::string& message) {
    if (path.empty()) {
        const BankLoad load = LoadBankOrBuiltIn(bank, path);
        if (!load.Ok()) message = load.Message();
        return load.Ok();
    }
    std::string error;
    std::vector<std::string> warnings;
    const bool loaded = LoadVoiceBank(path, bank, error, warnings);
    for (const std::string& w : warnings) std::cerr << w << '\n';
    if (loaded) return true;
    // A voice file's error names its file already; the converter's own
    // message for OPM text does not.
    message = error.compare(0, path.size() + 2, path + ": ") == 0 ? error : Named(path, error, true);
    return false;
}

bool ReadSong(const std::string& path, MIDI::Score& score, std::unique_ptr<MIDI::DMIDI>* song,
              std::string& message) {
    const MIDI::SmfStatus status = MIDI::ReadScoreFile(path.c_str(), score, song);
    if (status == MIDI::SmfStatus::Ok) return true;
    message = Named(path, MIDI::SmfMessage(status), MIDI::IsFileError(status));
    return false;
}

}  // namespace fmtool
