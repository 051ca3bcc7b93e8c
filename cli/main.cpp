// kelvarin-cli: the headless front end. Each command declares its own
// options beside what runs it (pack_command.cpp, send_command.cpp, ...).
#include "command_line.h"
#include "commands.h"
#include "manual_text.h"

#include <kelvarin/version.h>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace kelvarin;
    using namespace kelvarin::cli;

    CLI::App app{"Kelvarin: packs web pages into a device image and downloads it over Modbus/TCP",
                 "kelvarin-cli"};
    cmdline::SetUp(app, std::string("kelvarin-cli ") + kelvarin::kVersion);
    app.require_subcommand(1);
    const std::vector<Command> commands = {
        AddPackCommand(app),  AddInspectCommand(app), AddSendCommand(app),
        AddVerifyCommand(app), AddFleetCommand(app),  AddPullCommand(app),
        AddHistoryCommand(app), AddScanCommand(app),
    };
    // --help of every command and the man page (--manual) from the options above.
    manual::Document(app, kVersion, kManualSummary, &CommandSections, ProgramSections());
    if (const std::optional<int> code = cmdline::Parse(app, argc, argv, kExitUsage)) {
        return *code;
    }
    for (const Command& command : commands) {
        if (*command.app) {
            return command.run();
        }
    }
    return kExitUsage;
}
