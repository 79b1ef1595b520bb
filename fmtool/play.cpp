// fmtool play (not built yet).
#include <CLI/CLI.hpp>

#include <iostream>

#include "fmtool/commands.h"

namespace fmtool {

void AddPlayCommand(CLI::App& app, int& status) {
    CLI::App* cmd = app.add_subcommand("play", "(not built yet)");
    cmd->callback([&status] {
        std::cerr << "fmtool play: not built yet" << std::endl;
        status = 2;
    });
}

}  // namespace fmtool
