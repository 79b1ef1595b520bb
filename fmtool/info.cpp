// fmtool info (not built yet).
#include <CLI/CLI.hpp>

#include <iostream>

#include "fmtool/commands.h"

namespace fmtool {

void AddInfoCommand(CLI::App& app, int& status) {
    CLI::App* cmd = app.add_subcommand("info", "(not built yet)");
    cmd->callback([&status] {
        std::cerr << "fmtool info: not built yet" << std::endl;
        status = 2;
    });
}

}  // namespace fmtool
