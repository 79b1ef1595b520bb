// fmtool convert (not built yet).
#include <CLI/CLI.hpp>

#include <iostream>

#include "fmtool/commands.h"

namespace fmtool {

void AddConvertCommand(CLI::App& app, int& status) {
    CLI::App* cmd = app.add_subcommand("convert", "(not built yet)");
    cmd->callback([&status] {
        std::cerr << "fmtool convert: not built yet" << std::endl;
        status = 2;
    });
}

}  // namespace fmtool
