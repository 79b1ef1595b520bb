// fmtool arrange (not built yet).
#include <CLI/CLI.hpp>

#include <iostream>

#include "fmtool/commands.h"

namespace fmtool {

void AddArrangeCommand(CLI::App& app, int& status) {
    CLI::App* cmd = app.add_subcommand("arrange", "(not built yet)");
    cmd->callback([&status] {
        std::cerr << "fmtool arrange: not built yet" << std::endl;
        status = 2;
    });
}

}  // namespace fmtool
