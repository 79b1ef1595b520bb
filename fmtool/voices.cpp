// fmtool voices: FM voices in the common voice file formats. import, export,
// rip (from a VGM file), list and audition.
#include <CLI/CLI.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "fmtool/arrange/song_tag.h"
#include "fmtool/command_line.h"
#include "fmtool/commands.h"
#include "fmtool/play/audio_file.h"
#include "fmtool/play/audio_render.h"
#include "fmtool/voices/audition.h"
#include "fmtool/voices/ripped_bank.h"
#include "fmtool/voices/voice_character.h"
#include "instruments/voice_file.h"
#include "vgm/vgm_format.h"
#include "vgm/vgm_save.h"
#include "vgm/voice_rip.h"

namespace fmtool {

namespace {

constexpr int kDone = 0;
constexpr int kNotWritten = 1;  // the output cannot be written, or there is nothing to write
constexpr int kUnreadable = 2;  // an input cannot be read, or the command asks the impossible
constexpr int kNoProgram = -1;
constexpr int kLastProgram = 127;
constexpr std::size_t kBlockFrames = 4096;

struct VoicesOptions {
    std::vector<std::string> inputs;
    std::string output;
    int program = kNoProgram;
};

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

int Fail(const std::string& message, int status) {
    std::cerr << "fmtool voices: " << message << std::endl;
    return status;
}

void Warn(const std::string& file, const std::string& message) {
    std::cerr << "fmtool voices: " << file << ": " << message << std::endl;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Writes the bytes in place of `path` whole or not at all.
int Save(const std::vector<std::uint8_t>& bytes, const std::string& path) {
    if (VGM::SaveImage(bytes, {{path, false}}) != VGM::SaveResult::Ok)
        return Fail(path + ": cannot be written", kNotWritten);
    return kDone;
}

// The bank output of import and rip: OPM text or WOPN by its name.
bool BankOutput(const std::string& path, VoiceFormat& format) {
    format = VoiceFormatOfName(path);
    return IsBankFormat(format);
}

// Says on standard error what a voice loses in the bank it goes to.
void WarnLosses(const std::string& file, const BankVoice& v, VoiceFormat to) {
    const std::string who = "program " + std::to_string(v.program) + ": ";
    for (const std::string& line : v.extras.lost) Warn(file, who + line);
    if (to == VoiceFormat::kOpm && v.extras.HasSsgEg())
        Warn(file, who + "uses SSG-EG, which OPM text cannot hold: kept in a comment, the converter plays without it");
}

// The program of `bank` the command names, or its only one.
const BankVoice* PickProgram(const VoiceBank& bank, const std::string& file, int program, std::string& error) {
    if (program == kNoProgram) {
        if (bank.voices.size() == 1) return &bank.voices.front();
        error = file + " holds " + std::to_string(bank.voices.size()) + " programs; choose one with --program";
        return nullptr;
    }
    const BankVoice* v = bank.Find(program);
    if (v == nullptr) error = file + " defines no program " + std::to_string(program);
    return v;
}

bool ReadInput(const std::string& path, VoiceBank& bank, VoiceFormat* format, std::string& error) {
    VoiceFileError failure;
    if (!ReadVoiceFile(path, bank, failure, format)) {
        error = failure.Message();
        return false;
    }
    for (const std::string& w : bank.warnings) Warn(path, w);
    return true;
}

int RunImport(const VoicesOptions& opt) {
    VoiceFormat to;
    if (!BankOutput(opt.output, to)) return Fail("name the bank " + opt.output + " .opm or .wopn", kUnreadable);
    VoiceBank out;
    int next = opt.program == kNoProgram ? 0 : opt.program;
    std::string error;
    for (const std::string& path : opt.inputs) {
        if (SameFile(path, opt.output)) return Fail("the output " + opt.output + " would replace an input", kUnreadable);
        VoiceBank bank;
        VoiceFormat format = VoiceFormat::kUnknown;
        if (!ReadInput(path, bank, &format, error)) return Fail(error, kUnreadable);
        for (BankVoice& v : bank.voices) {
            if (!IsBankFormat(format)) {
                if (next > kLastProgram) return Fail("more than 128 programs: " + path + " finds no free one", kUnreadable);
                v.program = next++;
            }
            if (out.Find(v.program) != nullptr) Warn(path, "replaces program " + std::to_string(v.program));
            v.extras.notes.insert(v.extras.notes.begin(), std::string("from ") + path + " (" + VoiceFormatName(format) + ")");
            WarnLosses(path, v, to);
            out.Put(std::move(v));
        }
    }
    if (out.voices.empty()) return Fail("the inputs hold no voice; nothing written", kNotWritten);
    std::vector<std::string> losses;
    const auto bytes = EncodeVoiceFile(to, out, {"Imported by fmtool voices import."}, losses);
    for (const std::string& line : losses) Warn(opt.output, line);
    const int saved = Save(bytes, opt.output);
    if (saved == kDone) std::cerr << opt.output << ": " << Count(out.voices.size(), "voice", "voices") << std::endl;
    return saved;
}

int RunExport(const VoicesOptions& opt) {
    const std::string& input = opt.inputs.front();
    const VoiceFormat to = VoiceFormatOfName(opt.output);
    if (to == VoiceFormat::kUnknown)
        return Fail("cannot tell the format of " + opt.output + "; name it .opm, .tfi, .vgi, .y12, .dmp, .opni or .wopn",
                    kUnreadable);
    if (SameFile(input, opt.output)) return Fail("the output " + opt.output + " would replace the bank", kUnreadable);
    VoiceBank bank;
    std::string error;
    if (!ReadInput(input, bank, nullptr, error)) return Fail(error, kUnreadable);
    VoiceBank chosen;
    if (IsBankFormat(to) && opt.program == kNoProgram) {
        chosen = bank;
    } else {
        const BankVoice* v = PickProgram(bank, input, opt.program, error);
        if (v == nullptr) return Fail(error, kUnreadable);
        chosen.voices.push_back(*v);
    }
    if (chosen.voices.empty()) return Fail(input + " holds no voice; nothing written", kNotWritten);
    for (const BankVoice& v : chosen.voices) WarnLosses(input, v, to);
    std::vector<std::string> losses;
    const auto bytes = EncodeVoiceFile(to, chosen, {"Exported by fmtool voices export from " + input + "."}, losses);
    for (const std::string& line : losses) Warn(opt.output, line);
    return Save(bytes, opt.output);
}

int RunRip(const VoicesOptions& opt) {
    const std::string& song = opt.inputs.front();
    VoiceFormat to;
    if (!BankOutput(opt.output, to)) return Fail("name the bank " + opt.output + " .opm or .wopn", kUnreadable);
    if (SameFile(song, opt.output)) return Fail("the output " + opt.output + " would replace the song", kUnreadable);
    VGM::VoiceRip rip;
    std::string error;
    if (!VGM::RipVoices(song, rip, error)) return Fail(song + ": " + error, kUnreadable);
    if (!rip.stopped.empty()) Warn(song, rip.stopped + "; the voices before it are kept");
    if (rip.voices.empty()) return Fail(song + " plays no FM notes; nothing written", kNotWritten);
    std::vector<std::string> warnings;
    const VoiceBank bank = BankFromRip(rip, song, warnings);
    for (const std::string& w : warnings) Warn(song, w);
    for (const BankVoice& v : bank.voices) WarnLosses(song, v, to);
    std::vector<std::string> losses;
    const auto bytes = EncodeVoiceFile(
        to, bank,
        {"Voices ripped from " + song + " by fmtool voices rip, in order of first use.",
         "Carrier levels (TL) are those of each voice's loudest note."},
        losses);
    for (const std::string& line : losses) Warn(opt.output, line);
    const int saved = Save(bytes, opt.output);
    if (saved == kDone)
        std::cerr << song << ": " << Count(bank.voices.size(), "voice", "voices") << " from "
                  << Count(rip.key_ons, "FM note", "FM notes") << std::endl;
    return saved;
}

int RunList(const VoicesOptions& opt) {
    const std::string& input = opt.inputs.front();
    VoiceBank bank;
    std::string error;
    if (!ReadInput(input, bank, nullptr, error)) return Fail(error, kUnreadable);
    for (const BankVoice& v : bank.voices) {
        char line[64];
        std::snprintf(line, sizeof line, "%3d  ALG %d  FB %d  ", v.program, static_cast<int>(v.voice.con & 7),
                      static_cast<int>(v.voice.fl & 7));
        std::string name = v.extras.name.substr(0, 24);
        name.resize(24, ' ');
        std::cout << line << name << "  " << VoiceCharacter(v.voice, v.extras) << '\n';
    }
    std::cout.flush();
    return kDone;
}

int RunAudition(const VoicesOptions& opt) {
    const std::string& input = opt.inputs.front();
    VoiceBank bank;
    std::string error;
    if (!ReadInput(input, bank, nullptr, error)) return Fail(error, kUnreadable);
    const BankVoice* v = PickProgram(bank, input, opt.program, error);
    if (v == nullptr) return Fail(error, kUnreadable);
    const std::string output =
        opt.output.empty() ? FileStem(input) + "-" + std::to_string(v->program) + ".wav" : opt.output;
    AudioFormat format;
    if (!AudioFormatOf(output, format))
        return Fail("cannot tell the audio format of " + output + "; name it .wav, .flac or .ogg", kUnreadable);
    if (output == "-" && isatty(STDOUT_FILENO) == 1)
        return Fail("will not write sound to a terminal; pipe it into a player, e.g. | aplay", kUnreadable);
    if (SameFile(output, input)) return Fail("the output " + output + " would replace the bank", kUnreadable);

    auto chip_bank = std::make_unique<FMInst>();
    FillBank(bank, *chip_bank);
    const std::vector<std::uint8_t> image = AuditionVgm(*chip_bank, v->program);
    if (image.size() < VGM::kHeaderSize) return Fail("the audition song does not convert", kNotWritten);
    const std::uint64_t frames = VGM::Get32(image.data() + VGM::kOffTotalSamples);
    GmeRender render;
    if (!render.Load(image, VGM::kSampleRate, error)) return Fail("the audition cannot be played: " + error, kNotWritten);
    AudioFile out;
    if (!out.Open(output, format, VGM::kSampleRate, frames, error)) return Fail(error, kNotWritten);
    if (!render.Start(frames, error)) return Fail(error, kNotWritten);
    std::vector<std::int16_t> block(2 * kBlockFrames);
    for (;;) {
        std::size_t got = 0;
        if (!render.Next(block.data(), kBlockFrames, got, error)) return Fail(error, kNotWritten);
        if (got == 0) break;
        if (!out.Write(block.data(), got, error)) return Fail(error, kNotWritten);
    }
    if (!out.Finish(error)) return Fail(error, kNotWritten);
    return kDone;
}

CLI::Option* AddProgram(CLI::App* cmd, VoicesOptions& opt, const char* text) {
    return cmd->add_option("--program", opt.program, text)->check(CLI::Range(0, kLastProgram))->type_name("N");
}

}  // namespace

void AddVoicesCommand(CLI::App& app, int& status) {
    CLI::App* voices = app.add_subcommand("voices");
    Describe(*voices, "Bring your own FM voices: import, export, rip, list, audition",
             "FM voices in TFI, VGI, Y12, DMP, OPNI, WOPN and OPM text: import them into a bank, export a bank's "
             "programs, rip every voice a VGM or VGZ file plays, list a bank, audition a program. `fmtool voices "
             "COMMAND --help` explains each.",
             {"0  done", "1  nothing written (the output cannot be written, or there is nothing to write)",
              "2  an input cannot be read, or the command line is wrong"});
    voices->require_subcommand(1);

    auto imp = std::make_shared<VoicesOptions>();
    CLI::App* cmd = voices->add_subcommand(
        "import", "Voice files and banks of any format into one OPM bank");
    cmd->add_option("FILE", imp->inputs, "Voice files (.tfi .vgi .y12 .dmp .opni) and banks (.opm .wopn)")
        ->required();
    cmd->add_option("-o,--output", imp->output, "The bank to write: .opm (OPM text) or .wopn")->required()->type_name("BANK");
    AddProgram(cmd, *imp, "The program of the first single voice (default 0)");
    cmd->callback([imp, &status] { status = RunImport(*imp); });

    auto exp = std::make_shared<VoicesOptions>();
    cmd = voices->add_subcommand("export", "A program as a voice file, or the whole bank as .wopn or .opm");
    cmd->add_option("BANK", exp->inputs, "The bank, in any supported format")->required()->expected(1);
    cmd->add_option("-o,--output", exp->output, "The file to write: .tfi .vgi .y12 .dmp .opni, or .wopn .opm")
        ->required()
        ->type_name("FILE");
    AddProgram(cmd, *exp, "The program to export (needed when the bank holds several and the output one)");
    cmd->callback([exp, &status] { status = RunExport(*exp); });

    auto rip = std::make_shared<VoicesOptions>();
    cmd = voices->add_subcommand("rip", "Every distinct FM voice a VGM or VGZ file plays, as a bank");
    cmd->add_option("SONG", rip->inputs, "A VGM or VGZ file (versions 1.00-1.71) with a YM2612")
        ->required()
        ->expected(1);
    cmd->add_option("-o,--output", rip->output, "The bank to write: .opm (OPM text) or .wopn")->required()->type_name("BANK");
    cmd->callback([rip, &status] { status = RunRip(*rip); });

    auto list = std::make_shared<VoicesOptions>();
    cmd = voices->add_subcommand("list", "One line per program: algorithm, feedback, name and character");
    cmd->add_option("BANK", list->inputs, "A bank or voice file, in any supported format")->required()->expected(1);
    cmd->callback([list, &status] { status = RunList(*list); });

    auto aud = std::make_shared<VoicesOptions>();
    cmd = voices->add_subcommand("audition", "Hear a program: a scale and a chord, as a sound file");
    cmd->add_option("BANK", aud->inputs, "A bank or voice file, in any supported format")->required()->expected(1);
    AddProgram(cmd, *aud, "The program to hear (needed when the bank holds several)");
    cmd->add_option("-o,--output", aud->output,
                    "The audio file: .wav, .flac or .ogg; - writes WAV to standard output (default: BANK's name, "
                    "a dash and the program, .wav, in the current directory)")
        ->type_name("OUT");
    cmd->callback([aud, &status] { status = RunAudition(*aud); });
}

}  // namespace fmtool
