// The subcommands of fmtool. Each file fmtool/<name>.cpp adds its own to the
// application; when the command runs, it stores the process exit status in
// `status`.
#pragma once

namespace CLI {
class App;
}

namespace fmtool {

void AddCheckCommand(CLI::App& app, int& status);
void AddArrangeCommand(CLI::App& app, int& status);
void AddConvertCommand(CLI::App& app, int& status);
void AddPlayCommand(CLI::App& app, int& status);
void AddInfoCommand(CLI::App& app, int& status);
void AddVoicesCommand(CLI::App& app, int& status);

}  // namespace fmtool
