#include "cli/command.h"

#include "cli/commands.h"
#include "cli/line/line_pipe.h"

void AddLanguageOption(CLI::App& app, RunOptions& options) {
    app.add_option(line_pipe::kLanguageOption, options.lang,
                   "texts in English or German for this run")
        ->check(CLI::IsMember({"en", "de"}));
}

void AddRunOptions(CLI::App& app, RunOptions& options) {
    app.add_option(line_pipe::kPortOption, options.ports,
                   "COMn: use that port for this run; DEVICE (e.g. /dev/serial/by-id/...) or "
                   "usb:VID:PID[:SERIAL]: open it as the selected port (COM1 when none is "
                   "selected) for this run; update takes several, and updates those machines "
                   "at once")
        ->type_name("COMn|DEVICE|usb:VID:PID[:SERIAL]")
        ->allow_extra_args(false);
    app.add_flag("--yes", options.yes,
                 "answer Yes to every question (the interface "
                 "selection still needs a terminal)");
    app.add_flag("--no", options.no, "answer No to every question");
    AddLanguageOption(app, options);
    app.add_option(line_pipe::kTraceOption, options.trace,
                   "trace levels for this run (2 errors .. 5 every byte), shown on stderr")
        ->check(CLI::Range(2, 5))
        ->type_name("LEVEL");
}

void AddDirOption(CLI::App& app, RunOptions& options) {
    app.add_option(line_pipe::kDirOption, options.dir,
                   "folder of TQ8-PROG.MOT, TQ8-TEXT.MOT and TQ8-CRC.INI (default: the current "
                   "directory)")
        ->type_name("DIR");
}

void AddJsonOption(CLI::App& app, bool& json, const char* what) {
    app.add_flag("--json", json, what);
}

void AddRecordOption(CLI::App& app, std::string& record) {
    app.add_option(line_pipe::kRecordOption, record,
                   "the file of the update records (default: the RecordFile setting, else "
                   "the user's data folder)")
        ->type_name("FILE");
}

std::vector<std::unique_ptr<Command>> AddCommands(CLI::App& app, RunOptions& options) {
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(AddUpdateCommand(app, options));
    commands.push_back(AddSearchCommand(app, options));
    commands.push_back(AddInfoCommand(app, options));
    commands.push_back(AddSysinfoCommand(app, options));
    commands.push_back(AddCheckCommand(app, options));
    commands.push_back(AddPortsCommand(app, options));
    commands.push_back(AddDemoCommand(app, options));
    commands.push_back(AddInspectCommand(app, options));
    commands.push_back(AddLogCommand(app));
    commands.push_back(AddBundleCommand(app, options));
    return commands;
}
