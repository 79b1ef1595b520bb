// fmtool check (not built yet).
#include <CLI/CLI.hpp>

#include <iostream>

#include "fmtool/commands.h"

namespace fmtool {

void AddCheckCommand(CLI::App& app, int& status) {
    CLI::App* cmd = app.add_subcommand("check", "(not built yet)");
    cmd->callback([&status] {
        std::cerr << "fmtool check: not built yet" << std::endl;
        status = 2;
    });
}

}  // namespace fmtool
