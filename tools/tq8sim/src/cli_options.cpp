#include "cli_options.h"

#include <strings.h>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include <set>

#include "commands.h"
#include "line.h"
#include "tq8sim/arguments.h"

namespace tq8sim {
namespace {

std::optional<uint32_t> ParseUnsigned(const std::string& text, uint32_t max) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || value > max) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

std::optional<int16_t> ParseVariableValue(const std::string& text) {
    if (!text.empty() && text[0] == '-') {
        const auto magnitude = ParseUnsigned(text.substr(1), 32768);
        if (!magnitude) {
            return std::nullopt;
        }
        return static_cast<int16_t>(-static_cast<int32_t>(*magnitude));
    }
    const auto value = ParseUnsigned(text, 0xFFFF);
    if (!value) {
        return std::nullopt;
    }
    return static_cast<int16_t>(static_cast<uint16_t>(*value));
}

// "A=B" into its two halves.
bool SplitPair(const std::string& text, char separator, std::string* left, std::string* right) {
    const auto at = text.find(separator);
    if (at == std::string::npos) {
        return false;
    }
    *left = text.substr(0, at);
    *right = text.substr(at + 1);
    return true;
}

// "CMD[:COUNT]"
bool ParseCommandCount(const std::string& text, uint16_t* command, int* count) {
    std::string name = text;
    std::string countText;
    SplitPair(text, ':', &name, &countText);
    const auto code = ParseCommand(name);
    if (!code) {
        return false;
    }
    *command = *code;
    *count = -1;
    if (!countText.empty()) {
        const auto parsed = ParseUnsigned(countText, 1000000);
        if (!parsed || *parsed == 0) {
            return false;
        }
        *count = static_cast<int>(*parsed);
    }
    return true;
}

FaultSpec MakeFault(FaultSpec::Kind kind, uint32_t first = 0, uint32_t second = 0) {
    FaultSpec fault;
    fault.kind = kind;
    fault.first = first;
    fault.second = second;
    return fault;
}

}  // namespace

std::optional<uint16_t> ParseCommand(const std::string& text) {
    if (strcasecmp(text.c_str(), "devtype") == 0) {
        return kDeviceTypeCommand;
    }
    if (const CommandSpec* command = FindCommand(std::string_view(text))) {
        return command->code;
    }
    const auto number = ParseUnsigned(text, 0xFFFF);
    if (!number) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(*number);
}

std::optional<std::vector<uint8_t>> ParseHexBytes(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::string digits;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == ',' || text[i] == ':') {
            ++i;
            continue;
        }
        if (text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            i += 2;
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(text[i]))) {
            return std::nullopt;
        }
        digits += text[i++];
        // Two digits make a byte unless a separator ends a single one.
        if (digits.size() == 2 || i == text.size() ||
            !std::isxdigit(static_cast<unsigned char>(text[i]))) {
            bytes.push_back(static_cast<uint8_t>(std::strtoul(digits.c_str(), nullptr, 16)));
            digits.clear();
        }
    }
    if (bytes.empty()) {
        return std::nullopt;
    }
    return bytes;
}

bool ParseCommandLine(const std::vector<std::string>& args, ProgramConfig* config,
                      std::string* error) {
    static const std::set<std::string> kValued = {"--device",
                                                  "--link",
                                                  "--state",
                                                  "--transcript",
                                                  "--rate",
                                                  "--erase-ms-per-kib",
                                                  "--program-us-per-block",
                                                  "--gap-ms",
                                                  "--var",
                                                  "--app-state",
                                                  "--nak",
                                                  "--silent",
                                                  "--wrong-byte",
                                                  "--kennung",
                                                  "--block-byte",
                                                  "--block-noack",
                                                  "--vanish-after",
                                                  "--slow-erase",
                                                  "--checksum-mismatch",
                                                  "--stray",
                                                  "--in-download"};
    // Download faults hit this download of the run; 0 until --in-download is given.
    uint32_t download = 0;
    auto downloadFault = [&](FaultSpec::Kind kind, uint32_t first = 0, uint32_t second = 0) {
        FaultSpec fault = MakeFault(kind, first, second);
        fault.download = download;
        config->faults.push_back(fault);
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= args.size()) {
                *error = option + " needs a value";
                return false;
            }
            *out = args[++i];
            return true;
        };
        auto bad = [&](const std::string& text) {
            *error = "bad value for " + option + ": " + text;
            return false;
        };
        std::string text;
        if (option == "--help" || option == "-h") {
            config->help = true;
        } else if (option == "--pace") {
            config->options.pace = true;
        } else if (option == "--verbose" || option == "-v") {
            config->options.transcriptToStderr = true;
        } else if (option == "--trailer-nak") {
            downloadFault(FaultSpec::Kind::kTrailerNak);
        } else if (option == "--erase-nak") {
            downloadFault(FaultSpec::Kind::kEraseNak);
        } else if (option == "--erase-silent") {
            downloadFault(FaultSpec::Kind::kEraseSilent);
        } else if (option == "--refuse-rate") {
            config->faults.push_back(MakeFault(FaultSpec::Kind::kRefuseRate));
        } else if (kValued.count(option) == 0) {
            *error = "unknown argument: " + option;
            return false;
        } else if (!value(&text)) {
            return false;
        } else if (option == "--in-download") {
            const auto number = ParseUnsigned(text, 0xFFFFFFFF);
            if (!number || *number == 0) {
                return bad(text);
            }
            download = *number;
        } else if (option == "--device") {
            config->device = text;
        } else if (option == "--link") {
            config->link = text;
        } else if (option == "--state") {
            config->options.stateFile = text;
        } else if (option == "--transcript") {
            config->options.transcriptFile = text;
        } else if (option == "--rate") {
            const auto rate = ParseUnsigned(text, 4000000);
            if (!rate || !IsSupportedRate(*rate)) {
                return bad(text);
            }
            config->options.rate = *rate;
        } else if (option == "--erase-ms-per-kib") {
            const auto ms = ParseUnsigned(text, 10000);
            if (!ms) {
                return bad(text);
            }
            config->options.eraseMsPerKiB = *ms;
        } else if (option == "--program-us-per-block") {
            const auto us = ParseUnsigned(text, 1000000);
            if (!us) {
                return bad(text);
            }
            config->options.programUsPerBlock = *us;
        } else if (option == "--gap-ms") {
            const auto ms = ParseUnsigned(text, 600000);
            if (!ms || *ms == 0) {
                return bad(text);
            }
            config->options.downloadGapMs = *ms;
        } else if (option == "--var") {
            std::string id;
            std::string number;
            const auto parsedId = SplitPair(text, '=', &id, &number) ? ParseUnsigned(id, 0xFFFF)
                                                                     : std::optional<uint32_t>{};
            const auto parsedValue = ParseVariableValue(number);
            if (!parsedId || !parsedValue) {
                return bad(text);
            }
            config->variables.emplace_back(static_cast<uint16_t>(*parsedId), *parsedValue);
        } else if (option == "--app-state") {
            const auto state = ParseUnsigned(text, 255);
            if (!state) {
                return bad(text);
            }
            config->applicationState = static_cast<uint8_t>(*state);
        } else if (option == "--nak" || option == "--silent") {
            FaultSpec fault =
                MakeFault(option == "--nak" ? FaultSpec::Kind::kNak : FaultSpec::Kind::kSilence);
            uint16_t command = 0;
            if (!ParseCommandCount(text, &command, &fault.count)) {
                return bad(text);
            }
            fault.first = command;
            config->faults.push_back(fault);
        } else if (option == "--wrong-byte") {
            // CMD=BYTE[:COUNT]
            std::string command;
            std::string rest;
            if (!SplitPair(text, '=', &command, &rest)) {
                return bad(text);
            }
            std::string byteText = rest;
            std::string countText;
            SplitPair(rest, ':', &byteText, &countText);
            FaultSpec fault = MakeFault(FaultSpec::Kind::kWrongByte);
            uint16_t code = 0;
            const auto byte = ParseUnsigned(byteText, 0xFF);
            if (!ParseCommandCount(countText.empty() ? command : command + ":" + countText, &code,
                                   &fault.count) ||
                !byte) {
                return bad(text);
            }
            fault.first = code;
            fault.second = *byte;
            config->faults.push_back(fault);
        } else if (option == "--kennung" || option == "--block-byte") {
            std::string left;
            std::string right;
            if (!SplitPair(text, '=', &left, &right)) {
                return bad(text);
            }
            const bool kennung = option == "--kennung";
            const auto first = ParseUnsigned(left, kennung ? 0xFFFF : 0xFFFFFFFF);
            const auto second = ParseUnsigned(right, kennung ? 0xFFFF : 0xFF);
            if (!first || !second) {
                return bad(text);
            }
            if (kennung) {
                config->faults.push_back(MakeFault(FaultSpec::Kind::kKennung, *first, *second));
            } else {
                downloadFault(FaultSpec::Kind::kBlockByte, *first, *second);
            }
        } else if (option == "--block-noack" || option == "--vanish-after" ||
                   option == "--slow-erase" || option == "--checksum-mismatch") {
            const auto number =
                ParseUnsigned(text, option == "--checksum-mismatch" ? 2 : 0xFFFFFFFF);
            if (!number) {
                return bad(text);
            }
            const FaultSpec::Kind kind =
                option == "--block-noack"    ? FaultSpec::Kind::kBlockNoAck
                : option == "--vanish-after" ? FaultSpec::Kind::kVanishAfter
                : option == "--slow-erase"   ? FaultSpec::Kind::kSlowErase
                                             : FaultSpec::Kind::kChecksumMismatch;
            if (kind == FaultSpec::Kind::kChecksumMismatch) {
                config->faults.push_back(MakeFault(kind, *number));
            } else {
                downloadFault(kind, *number);
            }
        } else if (option == "--stray") {
            const auto bytes = ParseHexBytes(text);
            if (!bytes) {
                return bad(text);
            }
            FaultSpec fault = MakeFault(FaultSpec::Kind::kStray);
            fault.bytes = *bytes;
            config->faults.push_back(fault);
        } else {
            *error = "unknown argument: " + option;
            return false;
        }
    }
    return true;
}

void ApplyConfig(const ProgramConfig& config, Simulator& simulator) {
    for (const auto& [id, value] : config.variables) {
        simulator.SetVariable(id, value);
    }
    if (config.applicationState) {
        simulator.SetApplicationState(*config.applicationState);
    }
    for (const FaultSpec& fault : config.faults) {
        const auto command = static_cast<uint16_t>(fault.first);
        // Without --in-download a download fault is meant for the first download.
        const uint32_t download = fault.download == 0 ? 1 : fault.download;
        switch (fault.kind) {
            case FaultSpec::Kind::kNak:
                simulator.InjectNak(command, fault.count);
                break;
            case FaultSpec::Kind::kSilence:
                simulator.InjectSilence(command, fault.count);
                break;
            case FaultSpec::Kind::kWrongByte:
                simulator.InjectWrongByte(command, static_cast<uint8_t>(fault.second), fault.count);
                break;
            case FaultSpec::Kind::kKennung:
                simulator.InjectKennung(command, static_cast<uint16_t>(fault.second));
                break;
            case FaultSpec::Kind::kBlockNoAck:
                simulator.InjectBlockNoAck(fault.first, download);
                break;
            case FaultSpec::Kind::kBlockByte:
                simulator.InjectBlockWrongByte(fault.first, static_cast<uint8_t>(fault.second),
                                               download);
                break;
            case FaultSpec::Kind::kTrailerNak:
                simulator.InjectTrailerNak(download);
                break;
            case FaultSpec::Kind::kEraseNak:
                simulator.InjectEraseNak(download);
                break;
            case FaultSpec::Kind::kEraseSilent:
                simulator.InjectEraseSilence(download);
                break;
            case FaultSpec::Kind::kChecksumMismatch:
                simulator.InjectChecksumMismatch(static_cast<int>(fault.first));
                break;
            case FaultSpec::Kind::kRefuseRate:
                simulator.InjectRateRefusal();
                break;
            case FaultSpec::Kind::kSlowErase:
                if (fault.download == 0) {
                    simulator.InjectSlowErase(fault.first);
                } else {
                    simulator.InjectSlowErase(fault.first, fault.download);
                }
                break;
            case FaultSpec::Kind::kStray:
                simulator.InjectStrayBytes(fault.bytes);
                break;
            case FaultSpec::Kind::kVanishAfter:
                simulator.InjectVanishAfterBlock(fault.first, download);
                break;
        }
    }
}

bool ApplyArguments(Simulator& simulator, const std::vector<std::string>& args,
                    std::string* error) {
    ProgramConfig config;
    if (!ParseCommandLine(args, &config, error)) {
        return false;
    }
    const ProgramConfig plain;
    if (!(config.options == plain.options) || config.device != plain.device ||
        config.link != plain.link || config.help) {
        *error =
            "only faults, variables and the application state can be given to a machine "
            "that is already made";
        return false;
    }
    ApplyConfig(config, simulator);
    return true;
}

}  // namespace tq8sim
