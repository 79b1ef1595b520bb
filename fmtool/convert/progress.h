// Lines about songs on standard error, written whole from any thread, and on
// a terminal a progress bar below them that is redrawn as songs finish.
#pragma once

#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>

namespace fmtool {

class Progress {
public:
    // `total` songs; the bar is drawn only when `stream` is a terminal.
    Progress(std::FILE* stream, std::size_t total);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // One line (a newline is added); the bar, if any, moves below it.
    void Line(const std::string& line);
    // One more song finished; its line, if any, first.
    void Done(const std::string& line);
    // Clears the bar at the end.
    void Finish();

private:
    void DrawBar();
    void ClearBar();

    std::FILE* stream_;
    std::size_t total_;
    std::size_t done_ = 0;
    bool bar_;
    std::mutex mutex_;
};

}  // namespace fmtool
