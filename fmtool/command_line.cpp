#include "fmtool/command_line.h"

#include <CLI/CLI.hpp>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <sstream>

#include "vgm/vgm_save.h"

namespace fmtool {

namespace {

// The reasons both directions share; empty for one that depends on the direction.
std::string CommonReason(int error) {
    switch (error) {
        case 0: return "";
        case EACCES:
        case EPERM: return "permission denied";
        case ENOSPC:
        case EDQUOT: return "disk full";
        case EISDIR: return "is a folder";
        case ENOTDIR: return "a part of the path is not a folder";
        case EROFS: return "read-only file system";
        case EFBIG: return "file too large";
        case ELOOP: return "too many symbolic links";
        case ENAMETOOLONG: return "name too long";
        case EINTR: return "interrupted";
        case EIO: return "input/output error";
        default: break;
    }
    if (error == ENOENT) return "";
    std::string text = std::strerror(error);
    if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

}  // namespace

std::string WriteReason(int error) { return error == ENOENT ? "no such folder" : CommonReason(error); }

std::string ReadReason(int error) { return error == ENOENT ? "no such file" : CommonReason(error); }

std::string OpenReason(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ReadReason(EISDIR);
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        close(fd);
        return "";
    }
    return ReadReason(errno);
}

std::string WithOpenReason(const std::string& path, const std::string& message) {
    struct stat st;
    // The message says it already.
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return message;
    const std::string reason = OpenReason(path);
    return reason.empty() ? message : message + ": " + reason;
}

std::string ReaderVerdict(const std::string& path, const std::string& said, bool opening) {
    const std::string reason = opening ? OpenReason(path) : "";
    return reason.empty() ? said : said + " (" + reason + ")";
}

std::string CannotWrite(const std::string& name, int error) {
    const std::string reason = WriteReason(error);
    return "cannot write " + name + (reason.empty() ? "" : ": " + reason);
}

const std::string* ReplacedInput(const std::string& output, const std::vector<std::string>& inputs) {
    struct stat st;
    // Only a regular file is replaced; a device or a pipe is written in place.
    if (stat(output.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    for (const std::string& input : inputs) {
        if (VGM::SameFile(output, input)) return &input;
    }
    return nullptr;
}

std::string Wrap(const std::string& text, std::size_t width) {
    std::string out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::istringstream words(text.substr(start, end - start));
        std::string word, line;
        while (words >> word) {
            if (!line.empty() && line.size() + 1 + word.size() > width) {
                out += line + "\n";
                line.clear();
            }
            line += (line.empty() ? "" : " ") + word;
        }
        out += line + "\n";
        start = end + 1;
    }
    return out;
}

void Describe(CLI::App& cmd, const std::string& summary, const std::string& details,
              const std::vector<std::string>& exits) {
    cmd.description(summary);
    std::string footer = Wrap(details) + "\nExit status:\n";
    for (const std::string& line : exits) footer += "  " + line + "\n";
    footer += "  " + std::to_string(kOutOfMemory) + "  memory ran out (\"Out of memory, abort...\")\n";
    cmd.footer(footer);
}

CLI::Validator FiniteRange(double low, double high) {
    std::ostringstream desc;
    desc << "NUMBER in [" << low << " - " << high << "]";
    return CLI::Validator(
        [low, high](std::string& text) -> std::string {
            double value = 0;
            std::istringstream in(text);
            in >> value;
            char rest;
            if (in.fail() || (in >> rest) || !std::isfinite(value) || value < low || value > high) {
                std::ostringstream why;
                why << text << " is not a number from " << low << " to " << high;
                return why.str();
            }
            return "";
        },
        desc.str(), "FINITE_RANGE");
}

}  // namespace fmtool
