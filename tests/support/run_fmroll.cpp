#include "tests/support/run_fmroll.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace testsupport {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "fmroll-test-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempDir::Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void TempDir::Write(const std::string& name, const std::string& text) const {
    std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
    out << text;
}

bool TempDir::Exists(const std::string& name) const {
    struct stat st;
    return stat(File(name).c_str(), &st) == 0;
}

std::vector<std::uint8_t> TempDir::Read(const std::string& name) const {
    std::ifstream in(File(name), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

RunResult RunProgram(const std::string& binary, const std::string& dir, const std::vector<std::string>& args,
                     const std::string& stdinPath) {
    TempDir capture;  // outside `dir`, so that the run sees only its own files there
    const std::string outPath = capture.File("stdout");
    const std::string errPath = capture.File("stderr");
    std::vector<std::string> argv = {binary};
    argv.insert(argv.end(), args.begin(), args.end());

    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open(stdinPath.c_str(), O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || chdir(dir.c_str()) != 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> cargv;
        for (std::string& a : argv) cargv.push_back(a.data());
        cargv.push_back(nullptr);
        execv(cargv[0], cargv.data());
        _exit(127);
    }
    RunResult r;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) r.status = WEXITSTATUS(status);
    r.out = Slurp(outPath);
    r.err = Slurp(errPath);
    return r;
}

RunResult RunFmroll(const std::string& dir, const std::vector<std::string>& args) {
    return RunProgram(FMROLL_BINARY, dir, args);
}

RunResult RunFmtool(const std::string& dir, const std::vector<std::string>& args) {
    return RunProgram(FMTOOL_BINARY, dir, args);
}

const char* const kPlainBank =
    "@:0 Plain\n"
    "LFO: 0 0 0 0 0\n"
    "CH: 192 0 7 0 0 120 0\n"
    "M1: 31 0 0 15 0 0 0 1 0 0 0\n";

std::string SourcePath(const std::string& relative) { return std::string(FMROLL_SOURCE_DIR) + "/" + relative; }

}  // namespace testsupport
