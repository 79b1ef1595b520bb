#include "fmtool/convert/progress.h"

#include <unistd.h>

namespace fmtool {

namespace {

constexpr std::size_t kBarWidth = 30;

}  // namespace

Progress::Progress(std::FILE* stream, std::size_t total)
    : stream_(stream), total_(total), bar_(isatty(fileno(stream)) != 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    DrawBar();
}

void Progress::ClearBar() {
    if (bar_) std::fputs("\r\033[K", stream_);
}

void Progress::DrawBar() {
    if (!bar_) return;
    const std::size_t filled = total_ ? done_ * kBarWidth / total_ : kBarWidth;
    std::string bar(filled, '#');
    bar.resize(kBarWidth, '.');
    std::fprintf(stream_, "[%s] %zu/%zu songs", bar.c_str(), done_, total_);
    std::fflush(stream_);
}

void Progress::Line(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearBar();
    std::fprintf(stream_, "%s\n", line.c_str());
    DrawBar();
}

void Progress::Done(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearBar();
    if (!line.empty()) std::fprintf(stream_, "%s\n", line.c_str());
    ++done_;
    DrawBar();
}

void Progress::Finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearBar();
    std::fflush(stream_);
}

}  // namespace fmtool
