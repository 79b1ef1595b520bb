// What every fmtool command shares on its command line: the reasons it gives
// for a file it cannot read or write, the guard that none of its outputs
// replaces one of its inputs, and the checks of its numeric options.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace CLI {
class App;
class Validator;
}

namespace fmtool {

// Exit status of every command when memory runs out ("Out of memory,
// abort..."): the same as fmroll's.
constexpr int kOutOfMemory = 255;

// The plain reason for a system error number while reading or writing a
// file: "no such folder" (writing) or "no such file" (reading), "permission
// denied", "disk full", "is a folder", ...; empty for 0.
std::string WriteReason(int error);
std::string ReadReason(int error);
// Why `path` cannot be opened for reading, as ReadReason gives it ("is a
// folder" for a directory), or empty when it can.
std::string OpenReason(const std::string& path);
// `message` about the file at `path`, with ": reason" when it cannot be opened.
std::string WithOpenReason(const std::string& path, const std::string& message);
// A reader's verdict on the file at `path`, with why the file could not be
// opened when that was the trouble: "File open error, abort... (no such file)".
std::string ReaderVerdict(const std::string& path, const std::string& said, bool opening);
// "cannot write NAME" with ": reason" when there is one.
std::string CannotWrite(const std::string& name, int error);

// The input among `inputs` that writing `output` would replace (the same
// file, links followed), or null. A device or a pipe replaces nothing.
const std::string* ReplacedInput(const std::string& output, const std::vector<std::string>& inputs);

// Gives a command its one-line summary, shown in fmtool --help, and closes
// its own help with `details`, wrapped, and the list of its exit statuses
// ("0  all converted"), the out-of-memory status last.
void Describe(CLI::App& cmd, const std::string& summary, const std::string& details,
              const std::vector<std::string>& exits);

// `text` broken into lines of at most `width` characters at blanks; blank
// lines in it stay.
std::string Wrap(const std::string& text, std::size_t width = 78);

// A check for a numeric option: a finite number (no NaN, no infinity) within
// [low, high].
CLI::Validator FiniteRange(double low, double high);

}  // namespace fmtool
