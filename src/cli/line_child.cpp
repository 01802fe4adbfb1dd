// The child's side of an update of several machines at once. It is a complete single
// update with --json output; at the version overview it tells the parent what it found
// and takes the parent's answer, so that the operator confirms all machines once.
//
// The message form, one JSON object per line:
//   child -> parent (stdout): the update --json progress events; once, at the overview,
//     {"event":"ready","serial_number":4711,"machine_version":"1.02.5",
//      "file_version":"1.03.7","bytes":230400}
//     and last the update's record (the line with "schema").
//   parent -> child (stdin): "go" to update, anything else (or the end of input) for No.
// Messages meant for a person go to stderr, which the parent keeps for its summary.

#include <iostream>
#include <string>

#include "cli/commands.h"
#include "cli/console_frontend.h"
#include "cli/json_out.h"
#include "record/version_text.h"
#include "support/settings.h"
#include "update/machine_variables.h"
#include "update/update_report.h"

namespace {

constexpr unsigned kCaptionOverview = 2310;

const UpdateReport* gReport = nullptr;

nlohmann::json Optional(const std::optional<std::string>& text) {
    return text ? nlohmann::json(*text) : nlohmann::json(nullptr);
}

void SayReady(const UpdateReport& report) {
    nlohmann::json ready = {{"event", "ready"}};
    ready["serial_number"] = report.serialNumber
                                 ? nlohmann::json(static_cast<uint16_t>(*report.serialNumber))
                                 : nlohmann::json(nullptr);
    std::optional<std::string> machine;
    if (report.machineVersion && report.machineBuild) {
        machine = VersionText(MachineVersionValue(static_cast<uint16_t>(*report.machineVersion),
                                                  *report.machineBuild));
    }
    ready["machine_version"] = Optional(machine);
    ready["file_version"] =
        Optional(report.fileVersion ? VersionText(*report.fileVersion) : std::nullopt);
    uint64_t bytes = 0;
    for (const UpdateImageReport& image : report.images) {
        bytes += image.size;
    }
    ready["bytes"] = bytes;
    PrintJson(ready);
}

// The first question is answered Yes, as --yes does; the overview is the parent's.
bool AnswerForTheParent(const char* caption) {
    if (caption == nullptr || std::string(caption) != LoadText(kCaptionOverview) ||
        gReport == nullptr) {
        return true;
    }
    SayReady(*gReport);
    std::string answer;
    return std::getline(std::cin, answer) && answer == "go";
}

}  // namespace

int RunLineChild(UpdateOptions options) {
    UpdateReport report;
    gReport = &report;
    options.report = &report;
    options.json = true;
    options.recordToFile = false;
    ConsoleSetQuestionAnswerer(AnswerForTheParent);
    const int code = RunUpdate(options);
    ConsoleSetQuestionAnswerer(nullptr);
    gReport = nullptr;
    return code;
}
