// tq8sim's command line: one declaration per option with its help beside it; the help
// text is the parser's own.
#include "cli_options.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <utility>

#include "line.h"
#include "option_values.h"

namespace tq8sim {
namespace {

constexpr const char* kDescription =
    R"(The simulated Kovra TQ VIII in bootloader mode. Without --device it creates a
pseudo-terminal, prints the slave path as the first line of standard output, and
serves it until SIGINT or SIGTERM. Point the host at that path.
)";

constexpr const char* kFooter = R"(What the machine answers:
  Frame 11 HH LL: ACK for the codes 3..10, then the command's exchange; NAK for any
  other code. A frame whose bytes stop for the gap time is dropped without answer.
  Bytes outside a frame are ignored (transcript line STRAY).
  3 InitEEPROM: ACK; changes nothing.
  4 ReadVariable: kennung 2 and the value for a known variable; kennung 3 and value 0
    for an unknown id.
  5 WriteVariable: ACK, and the id becomes known, for ids 0..999; NAK for ids 1000 and
    above (the machine's own data such as 2384 and 2398).
  6 SetApplicationActive: ACK when the guard is 5D2E91C4 and the state fits a byte,
    else NAK.
  7 StartDownload: NAK on a wrong guard, a range that is reversed, not 32-byte aligned,
    outside the memory map, touching the bootloader or crossing two areas. Otherwise the
    range is erased (0xFF) for the erase time, then ACK, then download mode. Bytes that
    come from the host while it erases mean the host gave up waiting: no ACK is sent and
    they are read as commands.
  Download mode: (end - start + 1) / 32 blocks of 32 bytes, each ANDed into flash (bits
    can only be cleared) and acknowledged after the programming time; then XOR byte and
    32-bit sum (big-endian): ACK when both match the data received, else NAK. Only an
    acknowledged trailer records the download for the checksum report. A block that is
    not acknowledged ends the download mode at once.
  8 GetApplicationActive: the state byte.
  9 SetBaudRate: ACK at the old rate, then the machine uses the new one; NAK for a rate
    other than 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 or 230400.
  10 GetCheckSum: start, end, saved and calculated sums (16 bytes, no ACK before them).
    Area 0 bootloader 0x00000-0x03FFF: the whole area, saved = calculated.
    Area 1 application 0x04000-0x7FFFF, area 2 display texts 0x80000-0x9FFFF: the range
    of the last accepted download, saved = its trailer sum, calculated = the byte sum of
    that range now. An area never loaded reports the whole area with saved = 0.
    Any other area: no answer (a short answer would linger in the host's queue).
  Byte 14 (device type): ACK followed by the word 0001.

Machine at start: variable 0 = 102 (version 1.02), 2384 = 5 (build), 2398 = 4711
(serial number), 60, 61, 62 = 0xFFFF (never written); application state 2. The
bootloader area holds fixed content. Flash contents are not kept across runs.

Line rate: on a pty the machine reads the rate the host set on the slave. When it
differs from the machine's own, every byte either way is garbled into a byte with the
top bit set (never ACK, NAK or a frame start). While the host has the port closed
(EIO on the pty) the machine waits and goes on when it is opened again.

State file: text lines "application_state=N" and "variable.ID=VALUE" (unsigned), '#'
comments; rewritten through a temporary file on every change.

Transcript lines: "CMD 4 ReadVariable id=62 -> ACK kennung=2 value=5",
"DL start=0x00004000 end=0x0003ffff -> ACK erase=240ms" (or "-> NAK reason=...",
"-> SILENT"), "BLOCK 17 addr=0x00004220 -> ACK",
"TRAILER xor=0x5a sum=0x0012ab34 -> ACK", "RATE 38400 -> ACK", "NAK cmd=4",
"CHECKSUM area=1 start=... end=... saved=... calc=...", "STRAY 0x41", "VANISH after block 3".)";

// Takes an option's word into the config; false refuses it.
using Take = std::function<bool(const std::string&)>;

// Every option acts when it is read, in the order given: --in-download aims only the
// download faults after it, and a repeated option adds to what came before.
class OptionTable {
  public:
    explicit OptionTable(CLI::App& app) : app_(app) {}

    void Group(std::string heading) { group_ = std::move(heading); }

    void Flag(const std::string& names, const std::string& help, std::function<void()> act) {
        app_.add_flag_function(
                names, [act = std::move(act)](int64_t) { act(); }, help)
            ->trigger_on_parse()
            ->group(group_);
    }

    void Valued(const std::string& name, const std::string& word, const std::string& help,
                Take take) {
        app_.add_option_function<std::string>(
                name,
                [name, take = std::move(take)](const std::string& text) {
                    if (!take(text)) {
                        throw CLI::ValidationError("bad value for " + name, text);
                    }
                },
                help)
            ->type_name(word)
            ->trigger_on_parse()
            ->group(group_);
    }

  private:
    CLI::App& app_;
    std::string group_;
};

FaultSpec MakeFault(FaultSpec::Kind kind, uint32_t first = 0, uint32_t second = 0) {
    FaultSpec fault;
    fault.kind = kind;
    fault.first = first;
    fault.second = second;
    return fault;
}

// A number in min..max.
Take Number(uint32_t min, uint32_t max, std::function<void(uint32_t)> store) {
    return [=](const std::string& text) {
        const auto value = ParseUnsigned(text, max);
        if (!value || *value < min) {
            return false;
        }
        store(*value);
        return true;
    };
}

// "LEFT=RIGHT", each a number up to its maximum.
Take NumberPair(uint32_t leftMax, uint32_t rightMax,
                std::function<void(uint32_t, uint32_t)> store) {
    return [=](const std::string& text) {
        std::string left;
        std::string right;
        if (!SplitPair(text, '=', &left, &right)) {
            return false;
        }
        const auto first = ParseUnsigned(left, leftMax);
        const auto second = ParseUnsigned(right, rightMax);
        if (!first || !second) {
            return false;
        }
        store(*first, *second);
        return true;
    };
}

std::string Default(uint32_t value) {
    return " (default " + std::to_string(value) + ")";
}

void Declare(CLI::App& app, ProgramConfig& config, uint32_t& download) {
    Options& options = config.options;
    const Options defaults;
    // The parser outlives this frame: its actions hold config and download by reference
    // and these helpers by value.
    auto fault = [&config](FaultSpec spec) { config.faults.push_back(std::move(spec)); };
    // A download fault hits the download the last --in-download named; 0 when none did.
    auto downloadFault = [&config, &download](FaultSpec spec) {
        spec.download = download;
        config.faults.push_back(std::move(spec));
    };
    auto commandFault = [fault](FaultSpec::Kind kind) -> Take {
        return [fault, kind](const std::string& text) {
            FaultSpec spec = MakeFault(kind);
            uint16_t code = 0;
            if (!ParseCommandCount(text, &code, &spec.count)) {
                return false;
            }
            spec.first = code;
            fault(spec);
            return true;
        };
    };
    auto numberFault = [&](FaultSpec::Kind kind, uint32_t max, bool perDownload) {
        return Number(0, max, [=](uint32_t number) {
            perDownload ? downloadFault(MakeFault(kind, number)) : fault(MakeFault(kind, number));
        });
    };
    OptionTable table(app);

    table.Group("Line and files");
    table.Valued("--device", "PATH",
                 "serve this device (a real port, a socat end) instead of a pty",
                 [&config](const std::string& text) {
                     config.device = text;
                     return true;
                 });
    table.Valued("--link", "PATH",
                 "also make a symbolic link PATH to the pty (removed at exit),\n"
                 "e.g. $WINEPREFIX/dosdevices/com3",
                 [&config](const std::string& text) {
                     config.link = text;
                     return true;
                 });
    table.Valued("--rate", "N", "the machine's line rate at start" + Default(defaults.rate),
                 [&options](const std::string& text) {
                     const auto rate = ParseUnsigned(text, 4000000);
                     if (!rate || !IsSupportedRate(*rate)) {
                         return false;
                     }
                     options.rate = *rate;
                     return true;
                 });
    table.Flag("--pace",
               "delay every byte by its wire time, 10 bit times at the current rate;\n"
               "the time is kept on the line's own clock: when an answer leaves\n"
               "late (a busy system), the host's reply is dated back by as much,\n"
               "and the pty's own typical round trip is not counted either",
               [&options] { options.pace = true; });
    table.Valued("--state", "FILE", "keep variables and application state in FILE across runs",
                 [&options](const std::string& text) {
                     options.stateFile = text;
                     return true;
                 });
    table.Valued("--transcript", "FILE", "append one line per frame seen and answered to FILE",
                 [&options](const std::string& text) {
                     options.transcriptFile = text;
                     return true;
                 });
    table.Flag("-v,--verbose", "also print the transcript on standard error",
               [&options] { options.transcriptToStderr = true; });
    table.Valued("--var", "ID=VALUE", "set a variable at start (after the state file is read)",
                 [&config](const std::string& text) {
                     std::string id;
                     std::string number;
                     const auto parsedId = SplitPair(text, '=', &id, &number)
                                               ? ParseUnsigned(id, 0xFFFF)
                                               : std::optional<uint32_t>{};
                     const auto value = ParseVariableValue(number);
                     if (!parsedId || !value) {
                         return false;
                     }
                     config.variables.emplace_back(static_cast<uint16_t>(*parsedId), *value);
                     return true;
                 });
    table.Valued("--app-state", "N", "set the application state at start (0..255)",
                 Number(0, 255, [&config](uint32_t state) {
                     config.applicationState = static_cast<uint8_t>(state);
                 }));

    table.Group("Timings (the machine's own choice; the host relies only on its time limits)");
    table.Valued("--erase-ms-per-kib", "MS",
                 "erase time per started KiB of a download range" + Default(defaults.eraseMsPerKiB),
                 Number(0, 10000, [&options](uint32_t ms) { options.eraseMsPerKiB = ms; }));
    table.Valued("--program-us-per-block", "US",
                 "programming time of one 32-byte block" + Default(defaults.programUsPerBlock),
                 Number(0, 1000000, [&options](uint32_t us) { options.programUsPerBlock = us; }));
    table.Valued("--gap-ms", "MS",
                 "silent gap after which a started frame is dropped or the download\n"
                 "mode is left" +
                     Default(defaults.downloadGapMs) +
                     "; below the host's 1200 ms\n"
                     "answer limit, so after a failed block the host's next command\n"
                     "is read as a command again",
                 Number(1, 600000, [&options](uint32_t ms) { options.downloadGapMs = ms; }));

    table.Group("Faults");
    table.Valued("--nak", "CMD[:COUNT]",
                 "NAK instead of ACK to that command frame. CMD is a code 3..10,\n"
                 "a name such as ReadVariable, or devtype / 20 for the single-byte\n"
                 "device-type query; COUNT is how many times, default every time",
                 commandFault(FaultSpec::Kind::kNak));
    table.Valued("--silent", "CMD[:COUNT]", "no answer at all to that command frame",
                 commandFault(FaultSpec::Kind::kSilence));
    table.Valued(
        "--wrong-byte", "CMD=BYTE[:COUNT]", "send BYTE instead of ACK to that command frame",
        [fault](const std::string& text) {
            std::string command;
            std::string rest;
            if (!SplitPair(text, '=', &command, &rest)) {
                return false;
            }
            std::string byteText = rest;
            std::string countText;
            SplitPair(rest, ':', &byteText, &countText);
            FaultSpec spec = MakeFault(FaultSpec::Kind::kWrongByte);
            uint16_t code = 0;
            const auto byte = ParseUnsigned(byteText, 0xFF);
            if (!byte || !ParseCommandCount(countText.empty() ? command : command + ":" + countText,
                                            &code, &spec.count)) {
                return false;
            }
            spec.first = code;
            spec.second = *byte;
            fault(spec);
            return true;
        });
    table.Valued("--kennung", "VAR=K",
                 "ReadVariable of VAR answers kennung K (the value still follows)",
                 NumberPair(0xFFFF, 0xFFFF, [fault](uint32_t variable, uint32_t kennung) {
                     fault(MakeFault(FaultSpec::Kind::kKennung, variable, kennung));
                 }));
    table.Valued("--block-noack", "N", "block N (0-based) of the download is not acknowledged",
                 numberFault(FaultSpec::Kind::kBlockNoAck, 0xFFFFFFFF, true));
    table.Valued("--block-byte", "N=BYTE", "block N of the download is answered with BYTE",
                 NumberPair(0xFFFFFFFF, 0xFF, [downloadFault](uint32_t block, uint32_t byte) {
                     downloadFault(MakeFault(FaultSpec::Kind::kBlockByte, block, byte));
                 }));
    table.Flag("--trailer-nak", "the download's trailer is answered with NAK",
               [downloadFault] { downloadFault(MakeFault(FaultSpec::Kind::kTrailerNak)); });
    table.Flag("--erase-nak", "the download's start request is answered with NAK (no erase)",
               [downloadFault] { downloadFault(MakeFault(FaultSpec::Kind::kEraseNak)); });
    table.Flag("--erase-silent",
               "the download's start request gets no answer (no erase, and\n"
               "what follows is read as commands)",
               [downloadFault] { downloadFault(MakeFault(FaultSpec::Kind::kEraseSilent)); });
    table.Valued("--vanish-after", "N",
                 "the device disappears 100 ms after acknowledging block N of the\n"
                 "download (the pty is closed and the program exits with 3)",
                 numberFault(FaultSpec::Kind::kVanishAfter, 0xFFFFFFFF, true));
    table.Valued("--in-download", "N",
                 "the download faults after it (the six above and --slow-erase)\n"
                 "hit download N of the run: 1 is the first start request\n"
                 "(command 7 with its 12 bytes, a refused one included), 2 the\n"
                 "next. Without it they hit the first download; a later\n"
                 "--in-download aims the ones after it anew. The text image of\n"
                 "an update refused: --in-download 2 --erase-nak",
                 Number(1, 0xFFFFFFFF, [&download](uint32_t number) { download = number; }));
    table.Valued("--checksum-mismatch", "AREA",
                 "the checksum report of AREA (0..2) has calculated = saved + 1",
                 numberFault(FaultSpec::Kind::kChecksumMismatch, 2, false));
    table.Flag("--refuse-rate", "every rate switch is answered with NAK",
               [fault] { fault(MakeFault(FaultSpec::Kind::kRefuseRate)); });
    table.Valued("--slow-erase", "MS",
                 "every erase takes MS longer (above 10000 the host gives up);\n"
                 "after --in-download N only that download's erase",
                 numberFault(FaultSpec::Kind::kSlowErase, 0xFFFFFFFF, true));
    table.Valued("--stray", "HEXBYTES",
                 "send these bytes (e.g. \"41 42\") just before the next answer",
                 [fault](const std::string& text) {
                     const auto bytes = ParseHexBytes(text);
                     if (!bytes) {
                         return false;
                     }
                     FaultSpec spec = MakeFault(FaultSpec::Kind::kStray);
                     spec.bytes = *bytes;
                     fault(spec);
                     return true;
                 });

    app.set_help_flag("-h,--help", "this text")->group("Line and files");
}

// The parser with every option bound to config and to the download state of the parse.
void Build(CLI::App& app, ProgramConfig& config, uint32_t& download) {
    app.name("tq8sim");
    app.description(kDescription);
    app.footer(kFooter);
    app.get_formatter()->column_width(27);
    Declare(app, config, download);
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, ProgramConfig* config,
                      std::string* error) {
    CLI::App app;
    uint32_t download = 0;
    Build(app, *config, download);
    // CLI11 takes the words last first.
    std::vector<std::string> words(args.rbegin(), args.rend());
    try {
        app.parse(words);
    } catch (const CLI::CallForHelp&) {
        config->help = true;
    } catch (const CLI::ParseError& failure) {
        *error = failure.what();
        return false;
    }
    return true;
}

std::string HelpText() {
    CLI::App app;
    ProgramConfig config;
    uint32_t download = 0;
    Build(app, config, download);
    return app.help();
}

}  // namespace tq8sim
