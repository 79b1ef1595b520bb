#include "tests/support/run_fmroll.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
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

Child::Child(const std::string& binary, const std::string& dir, const std::vector<std::string>& args,
             const RunOptions& options)
    : capture_(std::make_unique<TempDir>()) {
    const std::string outPath = capture_->File("stdout");
    const std::string errPath = capture_->File("stderr");
    std::vector<std::string> argv = {binary};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (std::string& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);

    pid_ = fork();
    if (pid_ != 0) return;
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = open(options.stdinPath.c_str(), O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || chdir(dir.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    for (int fd : {in, out, err}) {
        if (fd > 2) close(fd);
    }
    // A test run from a shell in the background would otherwise hand on an
    // ignored SIGINT, and the program would behave differently.
    for (int sig = 1; sig < NSIG; ++sig) signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (const auto& [resource, value] : options.limits) {
        const rlimit limit = {static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
        if (setrlimit(resource, &limit) != 0) _exit(127);
    }
    if (options.uid >= 0 && (setgroups(0, nullptr) != 0 || setgid(options.uid) != 0 || setuid(options.uid) != 0)) {
        _exit(127);
    }
    execv(cargv[0], cargv.data());
    _exit(127);
}

Child::~Child() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

RunResult Child::Wait() {
    RunResult r;
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
        if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    }
    pid_ = -1;
    r.out = Slurp(capture_->File("stdout"));
    r.err = Slurp(capture_->File("stderr"));
    return r;
}

RunResult RunProgram(const std::string& binary, const std::string& dir, const std::vector<std::string>& args,
                     const RunOptions& options) {
    return Child(binary, dir, args, options).Wait();
}

RunResult RunProgram(const std::string& binary, const std::string& dir, const std::vector<std::string>& args,
                     const std::string& stdinPath) {
    RunOptions options;
    options.stdinPath = stdinPath;
    return RunProgram(binary, dir, args, options);
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
