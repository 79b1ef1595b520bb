// fmtool: the companion of fmroll for real musicians and real MIDI files.
// Each subcommand lives in its own file; this one builds the command line.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "common/run_guard.h"
#include "fmtool/commands.h"

namespace {

// A command line that cannot be understood: the same status as an input that
// cannot be read.
constexpr int kUsageError = 2;

// `fmtool help [COMMAND]`: the help of the whole tool or of one command.
void AddHelpCommand(CLI::App& app, int& status) {
    auto topic = std::make_shared<std::string>();
    CLI::App* help = app.add_subcommand("help", "Show the help of fmtool or of one command");
    help->add_option("COMMAND", *topic, "The command to explain");
    help->callback([&app, topic, &status] {
        if (topic->empty()) {
            std::cout << app.help();
            return;
        }
        for (const CLI::App* sub : app.get_subcommands({})) {
            if (sub->get_name() == *topic) {
                std::cout << sub->help(app.get_name());
                return;
            }
        }
        std::cerr << "fmtool: no command named '" << *topic << "'; see fmtool --help" << std::endl;
        status = kUsageError;
    });
}

// A command line fmtool cannot understand: one line naming the command and
// where its help is.
std::string UsageFailure(const CLI::App* app, const CLI::Error& e) {
    std::string command;
    for (const CLI::App* sub : app->get_subcommands()) command = " " + sub->get_name();
    const std::vector<std::string> rest = app->remaining();
    if (command.empty() && !rest.empty() && rest.front().rfind('-', 0) != 0)
        return "fmtool: no command named '" + rest.front() + "'; see fmtool --help\n";
    return "fmtool" + command + ": " + e.what() + "; see fmtool help" + command + "\n";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"fmtool: songs and voices for the Mega Drive / Genesis sound chips"};
    app.name("fmtool");
    app.set_version_flag("--version", std::string("fmtool (fmroll) ") + FMROLL_VERSION);
    app.require_subcommand(1);
    app.failure_message(UsageFailure);

    int status = 0;
    fmtool::AddCheckCommand(app, status);
    fmtool::AddArrangeCommand(app, status);
    fmtool::AddConvertCommand(app, status);
    fmtool::AddPlayCommand(app, status);
    fmtool::AddInfoCommand(app, status);
    fmtool::AddVoicesCommand(app, status);
    AddHelpCommand(app, status);

    return RunGuarded([&] {
        try {
            app.parse(argc, argv);
        } catch (const CLI::ParseError& e) {
            return app.exit(e) == 0 ? 0 : kUsageError;
        }
        return status;
    });
}
