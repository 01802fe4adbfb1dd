// tq8flash ports: the serial devices, and pinning the adapters to COM1, COM2, ...

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console_text.h"
#include "cli/json_out.h"
#include "cli/ports/ports.h"
#include "platform/console.h"
#include "platform/ini_file.h"
#include "platform/port_discovery.h"
#include "platform/serial.h"
#include "platform/settings_store.h"
#include "support/settings.h"
#include "update/exit_codes.h"

namespace {

// The port numbers a settings file may bind.
constexpr int kLastPort = 255;

std::string Or(const std::string& text) {
    return text.empty() ? "-" : text;
}

std::vector<std::string> ComNames(const platform::PortInfo& port) {
    std::vector<std::string> names;
    for (int n = 1; n <= kLastPort; ++n) {
        const std::string name = "COM" + std::to_string(n);
        if (platform::PortHasName(port, platform::SerialDevicePath(name))) {
            names.push_back(name);
        }
    }
    return names;
}

std::string Joined(const std::vector<std::string>& items, const char* separator) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : separator) + item;
    }
    return text;
}

std::string Access(const platform::PortProblem& problem) {
    switch (problem.kind) {
        case platform::PortProblem::Kind::NoAccess:
            return ConsoleFormat(Cli::kPortsAccessGroup, problem.group.c_str());
        case platform::PortProblem::Kind::Missing:
            return ConsoleText(Cli::kPortsAccessGone);
        case platform::PortProblem::Kind::Unknown:
            return "-";
        default:
            return ConsoleText(Cli::kPortsAccessYes);
    }
}

std::string HeldBy(const platform::PortProblem& problem) {
    std::vector<std::string> holders;
    for (const platform::PortHolder& holder : problem.holders) {
        holders.push_back(HolderText(holder));
    }
    return Joined(holders, ", ");
}

nlohmann::json TextOrNull(const std::string& text) {
    return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(text);
}

// The fields of a row for programs: no text of a language, null where the row shows "-".
nlohmann::json PortJson(const platform::PortInfo& port) {
    const platform::PortProblem problem = platform::DiagnosePort(port.device);
    using Kind = platform::PortProblem::Kind;
    nlohmann::json holders = nlohmann::json::array();
    for (const platform::PortHolder& holder : problem.holders) {
        holders.push_back({{"pid", holder.pid}, {"name", TextOrNull(holder.name)}});
    }
    return {{"device", port.device},
            {"stable_name", port.StableName()},
            {"by_id", TextOrNull(port.byId)},
            {"by_path", TextOrNull(port.byPath)},
            {"friendly_name", TextOrNull(port.friendly)},
            {"driver", TextOrNull(port.driver)},
            {"usb", port.usb},
            {"vendor_id", TextOrNull(port.vendorId)},
            {"product_id", TextOrNull(port.productId)},
            {"maker", TextOrNull(port.maker)},
            {"product", TextOrNull(port.product)},
            {"serial", TextOrNull(port.serial)},
            {"com_ports", ComNames(port)},
            {"access",
             problem.kind == Kind::Unknown
                 ? nlohmann::json(nullptr)
                 : nlohmann::json(problem.kind != Kind::NoAccess && problem.kind != Kind::Missing)},
            {"present", problem.kind != Kind::Missing},
            {"group", TextOrNull(problem.group)},
            {"holders", holders},
            {"latency_ms",
             port.latencyMs >= 0 ? nlohmann::json(port.latencyMs) : nlohmann::json(nullptr)}};
}

std::vector<std::string> PortRow(const platform::PortInfo& port) {
    const platform::PortProblem problem = platform::DiagnosePort(port.device);
    const std::string stable = port.StableName() != port.device ? port.StableName() : "";
    return {port.device,
            Or(!port.friendly.empty() ? port.friendly : stable),
            Or(port.driver),
            port.usb ? port.vendorId + ":" + port.productId : "-",
            Or(port.maker),
            Or(port.product),
            Or(port.serial),
            Or(Joined(ComNames(port), ",")),
            Access(problem),
            Or(HeldBy(problem)),
            port.latencyMs >= 0 ? std::to_string(port.latencyMs) + " ms" : "-"};
}

void PrintTable(const std::vector<std::vector<std::string>>& rows, bool terminal) {
    std::vector<size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], TerminalWidth(row[i]));
        }
    }
    // A terminal gets aligned columns; scripts get one tab between fields, for cut.
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line += terminal ? std::string(widths[i] - TerminalWidth(row[i]) + 2, ' ') : "\t";
            }
        }
        std::printf("%s\n", line.c_str());
    }
}

// out: stdout, or stderr where stdout carries JSON.
int SavePorts(const std::vector<platform::PortInfo>& ports, std::FILE* out) {
    std::vector<std::string> adapters;
    for (const platform::PortInfo& port : ports) {
        if (port.usb) {
            adapters.push_back(port.StableName());
        }
    }
    const std::string path = platform::SettingsFilePath();
    if (adapters.empty() || path.empty()) {
        std::fprintf(stderr, "%s\n",
                     ConsoleText(path.empty() ? Cli::kPortsSaveNoNames : Cli::kPortsSaveNoAdapter));
        return kExitFailure;
    }
    platform::IniFile ini;
    if (!ini.Load(path)) {
        std::fprintf(stderr, "%s\n",
                     ConsoleFormat(Cli::kPortsSaveUnreadable, path.c_str()).c_str());
        return kExitFailure;
    }
    for (const std::string& key : ini.Keys("Ports")) {
        ini.Remove("Ports", key);
    }
    for (size_t i = 0; i < adapters.size(); ++i) {
        ini.Set("Ports", "COM" + std::to_string(i + 1), adapters[i]);
    }
    if (!ini.Save(path)) {
        std::fprintf(stderr, "%s\n",
                     ConsoleFormat(Cli::kPortsSaveUnwritable, path.c_str()).c_str());
        return kExitFailure;
    }
    std::fprintf(out, "\n%s\n", ConsoleFormat(Cli::kPortsSaved, path.c_str()).c_str());
    for (size_t i = 0; i < adapters.size(); ++i) {
        std::fprintf(out, "COM%zu=%s\n", i + 1, adapters[i].c_str());
    }
    // With no port selected, update and info would ask for one; the first adapter it is.
    if (RegReadDword(HKEY_CURRENT_USER_ROOT, kProgramKey, kInterfaceValue, -1) <= 0) {
        if (!RegWriteDword(HKEY_CURRENT_USER_ROOT, kProgramKey, kInterfaceValue, 1)) {
            std::fprintf(stderr, "%s\n", ConsoleText(Cli::kPortNotStored));
            return kExitFailure;
        }
        std::fprintf(out, "Interface=COM1\n");
    }
    return kExitSuccess;
}

// One row per serial device, or with json one document of them on stdout; save binds
// COM1, COM2, ... to the stable names of the USB adapters in the settings file's [Ports]
// section.
int RunPorts(bool save, bool json) {
    const std::vector<platform::PortInfo> ports = platform::DiscoverPorts();
    if (json) {
        nlohmann::json list = nlohmann::json::array();
        for (const platform::PortInfo& port : ports) {
            list.push_back(PortJson(port));
        }
        PrintJson({{"ports", list}});
    } else {
        std::vector<std::vector<std::string>> rows = {ConsoleColumns(Cli::kPortsColumns)};
        for (const platform::PortInfo& port : ports) {
            rows.push_back(PortRow(port));
        }
        PrintTable(rows, platform::IsTerminal(platform::Stream::Output));
        std::fflush(stdout);
    }
    if (ports.empty()) {
        std::fprintf(stderr, "%s\n", ConsoleText(Cli::kPortsNone));
    }
    if (save) {
        return SavePorts(ports, json ? stderr : stdout);
    }
    return kExitSuccess;
}

class PortsCommand : public Command {
  public:
    PortsCommand(CLI::App& parent, RunOptions& options)
        : Command(parent, "ports",
                  "List the serial devices: names, driver, USB identity, COMn, access, holder") {
        AddRunOptions(App(), options);
        App().add_flag("--save", save_,
                       "bind COM1, COM2, ... to the USB adapters listed, in the settings file");
        AddJsonOption(App(), json_, "the devices and their fields as one JSON document on stdout");
    }

    bool Json() const override { return json_; }
    // With --save it binds the adapters itself.
    bool TakesUnconfiguredAdapter() const override { return !save_; }
    bool StoresPortGiven() const override { return save_; }
    std::optional<int> PortToExplain(int) const override { return std::nullopt; }
    int Run(ConsoleSession&, const RunOptions&) override { return RunPorts(save_, json_); }

  private:
    bool save_ = false;
    bool json_ = false;
};

}  // namespace

std::unique_ptr<Command> AddPortsCommand(CLI::App& app, RunOptions& options) {
    return std::make_unique<PortsCommand>(app, options);
}
