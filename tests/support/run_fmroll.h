// Test helper: runs the built programs (fmroll, fmtool) in a scratch directory.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    void Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
    void Write(const std::string& name, const std::string& text) const;
    bool Exists(const std::string& name) const;
    std::vector<std::uint8_t> Read(const std::string& name) const;

private:
    std::string path_;
};

struct RunResult {
    int status = -1000;  // exit status 0..255 (main's -1 shows as 255), or -1000 if it did not exit
    int signal = 0;      // the signal that ended it, 0 if it exited
    std::string out;     // standard output
    std::string err;     // standard error
};

// Conditions of a run beyond its arguments. The program always starts with
// the default disposition of every signal and none blocked.
struct RunOptions {
    std::string stdinPath = "/dev/null";
    // setrlimit(resource, value) for the program, e.g. {RLIMIT_FSIZE, 100}.
    std::vector<std::pair<int, std::uint64_t>> limits;
    // Runs as this user and group id (the test must be root); -1: as the test.
    int uid = -1;
};

// A program started in the background in directory `dir`; killed and
// collected if the test never waits for it.
class Child {
public:
    Child(const std::string& binary, const std::string& dir, const std::vector<std::string>& args,
          const RunOptions& options = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    // Waits for the end and collects what the program printed.
    RunResult Wait();

private:
    std::unique_ptr<TempDir> capture_;  // outside `dir`, so that the run sees only its own files there
    pid_t pid_ = -1;
};

// Runs `binary` with `args` (program name not included) in directory `dir`,
// standard input from `stdinPath` (default /dev/null).
RunResult RunProgram(const std::string& binary, const std::string& dir, const std::vector<std::string>& args,
                     const std::string& stdinPath = "/dev/null");
RunResult RunProgram(const std::string& binary, const std::string& dir, const std::vector<std::string>& args,
                     const RunOptions& options);
// Runs the built fmroll or fmtool.
RunResult RunFmroll(const std::string& dir, const std::vector<std::string>& args);
RunResult RunFmtool(const std::string& dir, const std::vector<std::string>& args);

// A bank of one plain voice that loads cleanly: program 0, algorithm 7, only
// operator M1 at full level.
extern const char* const kPlainBank;

// Path of a file under the source tree, e.g. SourcePath("examples/demo.opm").
std::string SourcePath(const std::string& relative);

}  // namespace testsupport
