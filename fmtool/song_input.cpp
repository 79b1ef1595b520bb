#include "fmtool/song_input.h"

#include <iostream>
#include <sstream>
#include <vector>

#include "fmtool/command_line.h"
#include "instruments/fminst.h"
#include "instruments/gm_bank.h"
#include "midi/smf_file.h"

namespace fmtool {

namespace {

// The reader and the bank loader say why they refuse a file on standard
// error: while one lives, that goes into a line of its own instead, and
// standard error is itself again when it goes, however the step ended.
class CapturedErrors {
public:
    CapturedErrors() : saved_(std::cerr.rdbuf(said_.rdbuf())) {}
    ~CapturedErrors() { std::cerr.rdbuf(saved_); }
    CapturedErrors(const CapturedErrors&) = delete;
    CapturedErrors& operator=(const CapturedErrors&) = delete;

    // The last line written, without its newline.
    std::string LastLine() const {
        std::string s = said_.str();
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        const std::size_t nl = s.find_last_of('\n');
        return nl == std::string::npos ? s : s.substr(nl + 1);
    }

private:
    std::ostringstream said_;
    std::streambuf* saved_;
};

std::string Named(const std::string& path, const std::string& said, bool opening) {
    std::string line = path + ": " + said;
    const std::string reason = opening ? OpenReason(path) : "";
    return reason.empty() ? line : line + " (" + reason + ")";
}

}  // namespace

bool LoadBank(const std::string& path, FMInst& bank, std::string& message) {
    if (path.empty()) {
        if (LoadGmBank(bank) == FMInst::kLoadOk) return true;
        message = "the built-in bank does not load";
        return false;
    }
    CapturedErrors said;
    if (LoadBankFile(bank, path.c_str()) == 0) return true;
    message = Named(path, said.LastLine(), true);
    return false;
}

bool ReadSong(const std::string& path, MIDI::Score& score, std::unique_ptr<MIDI::DMIDI>* song,
              std::string& message) {
    CapturedErrors said;
    std::vector<std::uint8_t> data;
    if (MIDI::ReadSmfFile(path.c_str(), data) != 0) {
        message = Named(path, said.LastLine(), true);
        return false;
    }
    if (!MIDI::ReadScore(data.data(), data.size(), score, song)) {
        message = Named(path, said.LastLine(), false);
        return false;
    }
    return true;
}

}  // namespace fmtool
