// The scenarios of TQ8Flash.exe under wine. COM1 and COM2 are silent ports, COM3 is the
// simulated machine; the script prepares them and names the scenario to run.

#include <windows.h>
// commctrl.h needs the types of windows.h.
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "robot.h"

using namespace robot;

namespace {

constexpr DWORD kBox = 15000;        // a box that follows a machine exchange
constexpr DWORD kDownload = 120000;  // both images at 38400 baud under wine

// Texts of the program, English and German (CP1252).
const std::string kCaptionUpdate = "Kovra TQ VIII Update-Utility";
const std::string kCaptionOverview = "Version-Overview";
const std::string kCaptionQuit = "Quit program";
const std::string kCaptionQuitGerman = "Programm beenden";
const std::string kCaptionSearch = "Seraching Interface";
const std::string kCaptionSearchGerman = "Schnittstellensuche";
const std::string kCaptionInterface = "Select interface";
const std::string kCaptionInterfaceGerman = "Schnittstellenauswahl";
const std::string kMainCaption = "TQ VIII - Flash-Download-Utility";
const std::string kAskUpdate = "Do you want to update the software?";
const std::string kAskUpdateGerman = "Wollen Sie ein Softwareupdate durchf\xFChren?";
const std::string kAskQuit = "Do you want to finish the program now?";
const std::string kAskQuitGerman = "Soll das Programm jetzt beendet werden?";
const std::string kCaptionOverviewGerman = std::string("Versions\xFC") + "bersicht";

std::string ProgramFile() {
    const char* file = std::getenv("TQ8_GUI_EXE");
    Check(file != nullptr, "TQ8_GUI_EXE is not set");
    return file;
}

std::string ProbeLibrary() {
    const char* file = std::getenv("TQ8_GUI_PROBE");
    Check(file != nullptr, "TQ8_GUI_PROBE is not set");
    return file;
}

std::string ProbeOutput() {
    const char* file = std::getenv("TQ8_GUI_PROBE_OUT");
    Check(file != nullptr, "TQ8_GUI_PROBE_OUT is not set");
    return file;
}

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// Answers a message box: checks its caption and a part of its text, then presses.
void Answer(const Program& program, const std::string& caption, const std::string& part, int button,
            const std::string& shot = {}, DWORD timeoutMs = kBox) {
    HWND box = WaitWindow(program.Id(), caption, timeoutMs);
    const std::string texts = ChildTexts(box);
    Check(Contains(texts, part), "box \"" + caption + "\" says:\n" + texts);
    Log("box \"" + caption + "\": " + part);
    if (!shot.empty()) {
        Shot(shot, box);
    }
    Press(box, button);
    WaitGone(box, 5000);
}

// The program as an operator starts it, with the machine's port (COM3) stored.
Program StartWithTheMachineStored() {
    WriteInterface(3);
    return Program(ProgramFile(), Quoted(ProgramFile()));
}

// File, Quit (command 110) ends the program without a question.
void QuitFromTheMenu(Program& program, HWND main) {
    Command(main, 110);
    Check(program.WaitExit(10000) == 0, "exit code not 0");
}

bool Checked(HWND toolbar, int command) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutA(toolbar, TB_ISBUTTONCHECKED, command, 0, SMTO_ABORTIFHUNG, 2000, &result);
    return result != 0;
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &result);
    return static_cast<LRESULT>(result);
}

// What the probe library reads inside the program: the menu bar's pop-up titles
// ("|"-separated), the marked language commands, the status bar's clock part, and the
// toolbar buttons' rectangles (toolbar client coordinates) by command.
struct ProbeReport {
    std::string titles;
    std::string marked;
    std::string clock;
    std::map<int, RECT> buttons;
};

std::string Line(FILE* file) {
    char line[1024] = "";
    if (std::fgets(line, sizeof line, file) == nullptr) {
        return {};
    }
    const std::string text = line;
    return text.substr(0, text.find('\n'));
}

ProbeReport ReadProbe(const Program& program) {
    const std::string out = ProbeOutput();
    ::DeleteFileA(out.c_str());
    Check(program.Inject(ProbeLibrary()), "cannot load the probe into the program");
    FILE* file = std::fopen(out.c_str(), "r");
    Check(file != nullptr, "the probe wrote nothing");
    ProbeReport report;
    report.titles = Line(file);
    report.marked = Line(file);
    report.clock = Line(file);
    std::istringstream buttons(Line(file));
    std::fclose(file);
    std::string entry;
    while (buttons >> entry) {
        int command = 0;
        RECT rect{};
        Check(std::sscanf(entry.c_str(), "%d=%ld,%ld,%ld,%ld", &command, &rect.left, &rect.top,
                          &rect.right, &rect.bottom) == 5,
              "the probe's toolbar entry reads " + entry);
        report.buttons[command] = rect;
    }
    return report;
}

// The main window after No at the update question and No at the quit question.
HWND StayInMainWindow(const Program& program) {
    Answer(program, kCaptionUpdate, kAskUpdate, IDNO);
    Answer(program, kCaptionQuit, kAskQuit, IDNO);
    HWND main = WaitWindow(program.Id(), kMainCaption, 5000);
    Check(MainWindowWasVisible(), "the main window is not visible");
    return main;
}

void CheckLanguage(const Program& program, HWND main, bool german) {
    HWND toolbar = ::GetDlgItem(main, 102);
    Check(toolbar != nullptr, "no toolbar");
    Check(Checked(toolbar, 141) == german && Checked(toolbar, 140) == !german,
          std::string("the pressed language button is not ") + (german ? "German" : "English"));
    const ProbeReport menu = ReadProbe(program);
    Check(menu.marked == (german ? "141" : "140"), "marked language items: " + menu.marked);
    const std::string expected =
        german ? "&Datei|D&ownload|&Sprache|&Hilfe" : "&File|D&ownload|&Language|&Help";
    Check(menu.titles == expected, "menu bar reads " + menu.titles);
    Log(std::string("language ") + (german ? "German" : "English") + ": menu " + menu.titles);
}

// The tooltip's text once it shows; fails after timeoutMs.
std::string ShownTooltip(HWND tooltip, const std::string& what, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (::IsWindowVisible(tooltip)) {
            const std::string text = Text(tooltip);
            if (!text.empty()) {
                return text;
            }
        }
        Check(::GetTickCount() - start < timeoutMs, "no tooltip shows " + what);
        Pause(20);
    }
}

void WaitTooltipHidden(HWND tooltip, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (::IsWindowVisible(tooltip)) {
        Check(::GetTickCount() - start < timeoutMs, "the tooltip stays");
        Pause(20);
    }
}

// Hovers over every toolbar button in turn: the tooltip shows the program's string of the
// button's command, the German one 1000 above it. Between two buttons the pointer rests on
// the toolbar's empty end, so that each text is asked for anew.
void CheckTooltips(const Program& program, HWND main, bool german, const std::string& shot) {
    HWND toolbar = ::GetDlgItem(main, 102);
    HWND tooltip = reinterpret_cast<HWND>(Ask(toolbar, TB_GETTOOLTIPS));
    Check(tooltip != nullptr, "the toolbar has no tooltip window");
    const ProbeReport report = ReadProbe(program);
    Check(report.buttons.size() == 7, "the probe found " + std::to_string(report.buttons.size()) +
                                          " of the seven toolbar buttons");
    // Tooltips show only over an active window, and without a window manager the X focus
    // falls back to the root when a dialog closes: the robot brings the window to the
    // front as an operator's click would.
    ::SetForegroundWindow(main);
    WaitWindowWhere(
        program.Id(), [&](HWND w) { return w == main && ::GetForegroundWindow() == main; },
        "main window in front", 5000);
    RECT bar{};
    ::GetClientRect(toolbar, &bar);
    const StringTable strings(ProgramFile());
    std::string tip;
    for (const auto& [command, rect] : report.buttons) {
        const LONG middle = (rect.top + rect.bottom) / 2;
        Check(rect.right < bar.right - 16, "the toolbar has no empty end");
        Hover(toolbar, POINT{bar.right - 8, middle});
        WaitTooltipHidden(tooltip, 5000);
        Hover(toolbar, POINT{(rect.left + rect.right) / 2, middle});
        tip = ShownTooltip(tooltip, "over " + std::to_string(command), 5000);
        const std::string english = strings.Text(static_cast<unsigned>(command));
        const std::string translated = strings.Text(static_cast<unsigned>(command) + 1000);
        Check(!english.empty() && !translated.empty() && english != translated,
              "the string table has no two languages for " + std::to_string(command));
        const std::string& expected = german ? translated : english;
        Check(tip == expected, "the tooltip of " + std::to_string(command) + " reads \"" + tip +
                                   "\", not \"" + expected + "\"");
    }
    Log(std::string("tooltips ") + (german ? "German" : "English") + ", the last: " + tip);
    if (!shot.empty()) {
        Shot(shot, tooltip);
    }
    Hover(toolbar, POINT{bar.right - 8, bar.bottom / 2});
    WaitTooltipHidden(tooltip, 5000);
}

// The seconds of the day that the clock part shows (" %2d:%02d:%02d"), or -1 when it
// does not read like that.
int ClockSeconds(const std::string& text) {
    auto digit = [&](size_t i) { return text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1; };
    if (text.size() != 9 || text[0] != ' ' || text[3] != ':' || text[6] != ':') {
        return -1;
    }
    const int tens = text[1] == ' ' ? 0 : digit(1);
    const int hour = tens * 10 + digit(2);
    const int minute = digit(4) * 10 + digit(5);
    const int second = digit(7) * 10 + digit(8);
    // The hour is padded with a blank, never with a zero.
    if (tens < 0 || digit(2) < 0 || (text[1] == ' ') != (hour < 10) || hour > 23 || digit(4) < 0 ||
        digit(5) < 0 || minute > 59 || digit(7) < 0 || digit(8) < 0 || second > 59) {
        return -1;
    }
    return hour * 3600 + minute * 60 + second;
}

// The status bar's clock runs and shows the local time.
void CheckClock(const Program& program) {
    const std::string first = ReadProbe(program).clock;
    Pause(1600);
    const std::string second = ReadProbe(program).clock;
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    Check(ClockSeconds(first) >= 0, "the clock reads \"" + first + "\"");
    Check(ClockSeconds(second) >= 0, "the clock reads \"" + second + "\"");
    Check(first != second, "the clock stands at \"" + first + "\"");
    const int local = now.wHour * 3600 + now.wMinute * 60 + now.wSecond;
    const int behind = (local - ClockSeconds(second) + 86400) % 86400;
    Check(behind <= 3,
          "the clock reads \"" + second + "\" at " + std::to_string(local) + " s of the day");
    Log("clock: \"" + first + "\", then \"" + second + "\"");
}

// The progress window's status line once the download has set it: the window shows
// before its first text.
std::string ProgressText(HWND progress) {
    const DWORD start = ::GetTickCount();
    std::string text;
    while ((text = ItemText(progress, 220)).empty() && ::GetTickCount() - start < 5000) {
        Pause(20);
    }
    return text;
}

// The language commands of the menu.
void SwitchLanguage(const Program& program, HWND main, bool german) {
    Command(main, german ? 141 : 140);
    Pause(200);
    CheckLanguage(program, main, german);
}

bool IsAboutBox(HWND window) {
    return ClassName(window) == "#32770" && ::GetDlgItem(window, 2402) != nullptr;
}

// The About box's two icons: shown, each with its picture in a box of its own size.
void CheckAboutIcons(HWND about) {
    struct Found {
        int icons = 0;
        std::string problems;
    } found;
    ::EnumChildWindows(
        about,
        [](HWND child, LPARAM data) -> BOOL {
            auto& result = *reinterpret_cast<Found*>(data);
            if ((::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
                return TRUE;
            }
            ++result.icons;
            RECT box{};
            ::GetClientRect(child, &box);
            if (box.right < 16 || box.bottom < 16) {
                result.problems += "an icon in a box of " + std::to_string(box.right) + " x " +
                                   std::to_string(box.bottom) + "\n";
            }
            if (!::IsWindowVisible(child) || ::SendMessageA(child, STM_GETICON, 0, 0) == 0) {
                result.problems += "an icon control without a visible picture\n";
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    Check(found.icons == 2, "the About box has " + std::to_string(found.icons) + " icons");
    Check(found.problems.empty(), found.problems);
}

// Opens the About box, checks its texts and closes it with Okay.
void CheckAbout(const Program& program, HWND main, bool german, const std::string& shot) {
    Command(main, 150);
    HWND about = WaitWindowWhere(program.Id(), IsAboutBox, "About", kBox);
    Pause(150);
    const std::string machine = ItemText(about, 2402);
    const std::string description = ItemText(about, 2400);
    Check(ItemText(about, 2401) == "TQ8Flash V1.02", "program name " + ItemText(about, 2401));
    Check(ItemText(about, 1) == "Okay", "button reads " + ItemText(about, 1));
    if (german) {
        Check(Contains(description, "Flash-Utility f\xFCr Kovra TQ8"),
              "description " + description);
        Check(Contains(machine, "Softwareversion Maschine:"), "machine field:\n" + machine);
        Check(Contains(machine, "Seriennummer Maschine:"), "machine field:\n" + machine);
        Check(Contains(machine, "Updates gesamt:"), "machine field:\n" + machine);
    } else {
        Check(Contains(description, "Flash utility for Kovra TQ8"), "description " + description);
        Check(Contains(machine, "Software-version maschine:"), "machine field:\n" + machine);
        Check(Contains(machine, "Serial number (machine):"), "machine field:\n" + machine);
        Check(Contains(machine, "Updates at all:"), "machine field:\n" + machine);
    }
    Check(Contains(machine, "1.03.7"), "no file version in:\n" + machine);
    CheckAboutIcons(about);
    Log("About box: " + machine.substr(0, machine.find('\r')));
    Shot(shot, about);
    Press(about, IDOK);
    WaitGone(about, 5000);
}

// Command 152: SysInfo.Dll's dialog with the connection's fields and the PC's facts.
void CheckSystemInformation(const Program& program, HWND main, const std::string& connection,
                            const std::string& shot) {
    Command(main, 152);
    HWND info = WaitWindow(program.Id(), "System information", 5000);
    const std::string report = ItemText(info, 100);
    Check(Contains(report, connection), "system information:\n" + report);
    Check(Contains(report, "Windows: ") && !Contains(report, "Windows: unknown") &&
              Contains(report, "Memory: "),
          "system information:\n" + report);
    Check(Contains(report, "COM ports: COM1, COM2, COM3\r\n"), "system information:\n" + report);
    Log("system information: " + connection.substr(0, connection.find('\r')));
    Shot(shot, info);
    Press(info, IDOK);
    WaitGone(info, 5000);
}

// The program stores the interface after its dialog has closed: the value it comes to
// within a few seconds.
void CheckInterface(long expected, const std::string& what) {
    const DWORD start = ::GetTickCount();
    long value = ReadInterface(0);
    while (value != expected && ::GetTickCount() - start < 5000) {
        Pause(50);
        value = ReadInterface(0);
    }
    Check(value == expected, what + " (Interface is " + std::to_string(value) + ")");
}

// ---- scenarios --------------------------------------------------------------------

// Start-up runs one update to its end; Yes at the quit question ends the program
// without the main window ever showing.
void UpdateAtStartUp() {
    Program program = StartWithTheMachineStored();
    Answer(program, kCaptionUpdate, kAskUpdate, IDYES, "update-question");
    Answer(program, kCaptionOverview, "Software-version file:", IDYES, "version-overview");
    HWND progress = WaitWindow(program.Id(), "Downloading software", kBox);
    const std::string status = ProgressText(progress);
    Check(status == "Download active" || status == "Erasing memory", "progress reads " + status);
    Check((::GetWindowLongA(progress, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0,
          "the progress window is not topmost");
    Shot("progress-program", progress);
    WaitWindow(program.Id(), "Downloading texts", kDownload);
    Answer(program, "Download completed", "successfully downloaded", IDOK, "download-completed",
           kDownload);
    Answer(program, kCaptionQuit, kAskQuit, IDYES);
    Check(program.WaitExit(10000) == 0, "exit code not 0");
    Check(!MainWindowWasVisible(), "the main window was shown");
    Check(ReadInterface(0) == 3, "Interface changed");
}

// No at the first question, then the main window: its menu, toolbar and tooltips, the
// running clock, the language switch there and back, the About box with the machine's
// data in both languages, the system information, and command 110 quitting without a
// question.
void MainWindowTour() {
    Program program = StartWithTheMachineStored();
    HWND main = StayInMainWindow(program);
    HWND toolbar = ::GetDlgItem(main, 102);
    Check(Ask(toolbar, TB_BUTTONCOUNT) == 11, "the toolbar has not eleven entries");
    const RECT quit = ReadProbe(program).buttons[110];
    Check(quit.right - quit.left == 18 && quit.bottom - quit.top == 17,
          "the quit button is " + std::to_string(quit.right - quit.left) + " x " +
              std::to_string(quit.bottom - quit.top) + ", not 18 x 17");
    Check(::GetDlgItem(main, 101) != nullptr, "no status bar");
    CheckLanguage(program, main, false);
    Shot("main-window", main);
    CheckClock(program);
    CheckTooltips(program, main, false, "tooltip-english");

    CheckSystemInformation(program, main, "Connection:\r\n    none", "system-information");

    SwitchLanguage(program, main, true);
    Shot("main-window-german", main);
    CheckTooltips(program, main, true, "tooltip-german");
    CheckAbout(program, main, true, "about-german");
    // The About box left its connection open: the system information describes it.
    CheckSystemInformation(program, main, "    COM3\r\n    Kovra TQ VIII (9600 bps; 8 N 1)\r\n",
                           "system-information-connected");

    SwitchLanguage(program, main, false);
    CheckTooltips(program, main, false, {});
    CheckAbout(program, main, false, "about-english");

    QuitFromTheMenu(program, main);
    Check(!Shown(program.Id(), kCaptionQuit), "110 asked before quitting");
}

// The search in the interface dialog tries COM1 and COM2 before it finds the machine on
// COM3; only OK stores the port: Cancel after a search in English keeps -1, OK after one
// in German stores COM3.
void InterfaceSearch() {
    WriteInterface(-1);
    Program program(ProgramFile(), Quoted(ProgramFile()));
    HWND main = StayInMainWindow(program);
    Command(main, 121);
    HWND dialog = WaitWindow(program.Id(), kCaptionInterface, 5000);
    Press(dialog, 201);
    Answer(program, kCaptionSearch, "Kovra TQ VIII found at COM3", IDOK, "search-found-english",
           20000);
    Press(dialog, IDCANCEL);
    WaitGone(dialog, 5000);
    Check(ReadInterface(0) == -1,
          "Cancel after a search stored " + std::to_string(ReadInterface(0)));

    SwitchLanguage(program, main, true);
    Command(main, 121);
    dialog = WaitWindow(program.Id(), kCaptionInterfaceGerman, 5000);
    Check(ItemText(dialog, 1) == "Okay" && ItemText(dialog, 2) == "Abbruch" &&
              ItemText(dialog, 201) == "Suchen",
          "buttons read:\n" + ChildTexts(dialog));
    HWND combo = ::GetDlgItem(dialog, 200);
    Check(Ask(combo, CB_GETCOUNT) == 3, "the port list does not hold COM1..COM3");
    Check(Ask(combo, CB_GETCURSEL) == CB_ERR, "a port is selected without a choice");
    Shot("interface-german", dialog);

    Press(dialog, 201);
    std::vector<LRESULT> tried;
    const DWORD start = ::GetTickCount();
    while (!Shown(program.Id(), kCaptionSearchGerman)) {
        const LRESULT selected = Ask(combo, CB_GETCURSEL);
        if (selected != CB_ERR && (tried.empty() || tried.back() != selected)) {
            tried.push_back(selected);
        }
        Check(::GetTickCount() - start < 20000, "the search does not end");
        ::Sleep(10);
    }
    Check(tried == std::vector<LRESULT>({0, 1, 2}),
          "the search did not try COM1, COM2, COM3 in turn (" + std::to_string(tried.size()) +
              " selections)");
    Log("search selected COM1, COM2, COM3 in turn");
    Answer(program, kCaptionSearchGerman, "Kovra TQ VIII gefunden an COM3", IDOK,
           "search-found-german");
    Check(Ask(combo, CB_GETCURSEL) == 2, "COM3 is not selected after the search");
    Check(ReadInterface(0) == -1, "the search stored the port before OK");
    Press(dialog, IDOK);
    WaitGone(dialog, 5000);
    CheckInterface(3, "OK did not store COM3");
    QuitFromTheMenu(program, main);
}

// COM1 is silent and the machine answers on COM2 (the script sets the ports up so). Search
// is pressed twice in a row: the second click arrives while the first search waits on
// COM1 and does nothing. The one search finds the machine, and the program goes on.
void SearchPressedTwice() {
    WriteInterface(-1);
    Program program(ProgramFile(), Quoted(ProgramFile()));
    HWND main = StayInMainWindow(program);
    Command(main, 121);
    HWND dialog = WaitWindow(program.Id(), kCaptionInterface, 5000);
    const DWORD start = ::GetTickCount();
    Press(dialog, 201);
    Press(dialog, 201);
    Answer(program, kCaptionSearch, "Kovra TQ VIII found at COM2", IDOK, "search-pressed-twice",
           20000);
    // A second search would show its box within the time that the first one took.
    Pause(::GetTickCount() - start + 1000);
    Check(!Shown(program.Id(), kCaptionSearch), "a second search followed the first");
    Press(dialog, IDOK);
    WaitGone(dialog, 5000);
    CheckInterface(2, "OK did not store COM2");
    QuitFromTheMenu(program, main);
}

// The selected port has no machine: the update shows the dialog, and Cancel there
// stores -1. Then in German from the menu: OK in the dialog stores COM1, and the next
// update finds nothing there either.
void InterfaceCancel() {
    WriteInterface(1);
    Program program(ProgramFile(), Quoted(ProgramFile()));
    Answer(program, kCaptionUpdate, kAskUpdate, IDYES);
    Answer(program, kCaptionSearch, "The TQ VIII could not be found!", IDOK, "not-found");
    HWND dialog = WaitWindow(program.Id(), kCaptionInterface, 5000);
    Check(ItemText(dialog, 1) == "Okay" && ItemText(dialog, 2) == "Cancel" &&
              ItemText(dialog, 201) == "Search",
          "buttons read:\n" + ChildTexts(dialog));
    HWND combo = ::GetDlgItem(dialog, 200);
    Check(Ask(combo, CB_GETCURSEL) == 0, "COM1 is not selected");
    Shot("interface-english", dialog);
    Press(dialog, IDCANCEL);
    WaitGone(dialog, 5000);
    CheckInterface(-1, "Cancel did not store -1");
    Answer(program, kCaptionQuit, kAskQuit, IDNO);
    HWND main = WaitWindow(program.Id(), kMainCaption, 5000);

    SwitchLanguage(program, main, true);
    Command(main, 121);
    dialog = WaitWindow(program.Id(), kCaptionInterfaceGerman, 5000);
    Ask(::GetDlgItem(dialog, 200), CB_SETCURSEL, 0);
    Press(dialog, IDOK);
    WaitGone(dialog, 5000);
    CheckInterface(1, "OK did not store COM1");
    Command(main, 120);
    Answer(program, kCaptionUpdate, kAskUpdateGerman, IDYES);
    Answer(program, kCaptionSearchGerman, "Die TQ VIII konnte nicht gefunden werden!", IDOK,
           "not-found-german");
    dialog = WaitWindow(program.Id(), kCaptionInterfaceGerman, 5000);
    Check(Ask(::GetDlgItem(dialog, 200), CB_GETCURSEL) == 0, "COM1 is not selected");
    Press(dialog, IDCANCEL);
    WaitGone(dialog, 5000);
    CheckInterface(-1, "Cancel did not store -1");
    QuitFromTheMenu(program, main);
}

// The machine does not acknowledge a block, in the first download and again in the next
// (the script sets the machine up so): the failure box in English at start-up, then in
// German from the menu. The program is started by its bare name, and still finds its
// firmware beside itself.
void DownloadFailure() {
    WriteInterface(3);
    Program program(ProgramFile(), "TQ8Flash.exe");
    Answer(program, kCaptionUpdate, kAskUpdate, IDYES);
    Answer(program, kCaptionOverview, "Software-version file:", IDYES);
    Answer(program, "Download Failed!",
           "It was not possible to download the new software to the machine!", IDOK,
           "download-failed", kDownload);
    Answer(program, kCaptionQuit, kAskQuit, IDNO);
    HWND main = WaitWindow(program.Id(), kMainCaption, 5000);

    SwitchLanguage(program, main, true);
    Command(main, 120);
    Answer(program, kCaptionUpdate, kAskUpdateGerman, IDYES);
    Answer(program, kCaptionOverviewGerman, "Softwareversion Datei:", IDYES);
    Answer(program, "Fehler beim Download!", "Die neue Software konnte nicht auf die Maschine",
           IDOK, "download-failed-german", kDownload);
    QuitFromTheMenu(program, main);
}

// From the main window after the switch to German: the update's questions, its progress
// window and its end in German, and afterwards the main window takes commands again.
void UpdateInGerman() {
    Program program = StartWithTheMachineStored();
    HWND main = StayInMainWindow(program);
    SwitchLanguage(program, main, true);
    Command(main, 120);
    Answer(program, kCaptionUpdate, kAskUpdateGerman, IDYES, "update-question-german");
    Answer(program, kCaptionOverviewGerman, "Softwareversion Datei:", IDYES,
           "version-overview-german");
    HWND progress = WaitWindow(program.Id(), "Programmierung der Software", kBox);
    const std::string status = ProgressText(progress);
    Check(status == "Download aktiv" || status == "Programmspeicher l\xF6schen",
          "progress reads " + status);
    Shot("progress-program-german", progress);
    // The boxes before the download end their modal loops by enabling their owner; no
    // command may reach the main window until the update is over.
    Check(!::IsWindowEnabled(main), "the main window is enabled during the download");
    WaitWindow(program.Id(), "Programmierung der Texte", kDownload);
    Check(!::IsWindowEnabled(main), "the main window is enabled during the texts' download");
    Answer(program, "Download abgeschlossen", "erfolgreich auf die Kovra TQ VIII", IDOK,
           "download-completed-german", kDownload);
    WaitWindowWhere(
        program.Id(), [&](HWND w) { return w == main && ::IsWindowEnabled(main); },
        "main window enabled after the update", 5000);
    QuitFromTheMenu(program, main);
}

// The machine reports a checksum of the application area that disagrees (the script sets
// it up so): after the download the checksum box and then the failure box, at start-up in
// English and from the menu in German.
void ChecksumFailure() {
    Program program = StartWithTheMachineStored();
    Answer(program, kCaptionUpdate, kAskUpdate, IDYES);
    Answer(program, kCaptionOverview, "Software-version file:", IDYES);
    Answer(program, "Checksum failure (Application)!",
           "The calculated checksum does not match the nominal value.", IDOK, "checksum-failed",
           kDownload);
    Answer(program, "Download Failed!", "It was not possible to download", IDOK);
    Answer(program, kCaptionQuit, kAskQuit, IDNO);
    HWND main = WaitWindow(program.Id(), kMainCaption, 5000);

    SwitchLanguage(program, main, true);
    Command(main, 120);
    Answer(program, kCaptionUpdate, kAskUpdateGerman, IDYES);
    Answer(program, kCaptionOverviewGerman, "Softwareversion Datei:", IDYES);
    Answer(program, std::string("Pr\xFC") + "fsummenfehler! (Applikation)!", "Die berechnete Pr",
           IDOK, "checksum-failed-german", kDownload);
    Answer(program, "Fehler beim Download!", "Die neue Software konnte nicht", IDOK);
    QuitFromTheMenu(program, main);
}

// The machine refuses to tell its serial number (the script sets it up so): the
// connection box instead of the version overview, in English at start-up and in German
// from the menu.
void NoConnection() {
    Program program = StartWithTheMachineStored();
    Answer(program, kCaptionUpdate, kAskUpdate, IDYES);
    Answer(program, "Could not establish connection",
           "The protocol with Kovra TQ VIII could not be initialized", IDOK, "no-connection");
    Answer(program, kCaptionQuit, kAskQuit, IDNO);
    HWND main = WaitWindow(program.Id(), kMainCaption, 5000);

    SwitchLanguage(program, main, true);
    Command(main, 120);
    Answer(program, kCaptionUpdate, kAskUpdateGerman, IDYES);
    Answer(program, "Verbindung kann nicht aufgenommen werden",
           "Das Protokoll zur Kovra TQ VIII  konnte nicht initialisiert werden.", IDOK,
           "no-connection-german");
    Check(!Shown(program.Id(), kCaptionOverviewGerman), "an overview follows the box");
    QuitFromTheMenu(program, main);
}

// On a German-language system (the script starts the robot, and with it the program,
// under a German locale) the program speaks German from its first question on: the
// quit question, the menu and the tooltips.
void GermanLocale() {
    Program program = StartWithTheMachineStored();
    Answer(program, kCaptionUpdate, kAskUpdateGerman, IDNO);
    Answer(program, kCaptionQuitGerman, kAskQuitGerman, IDNO, "quit-german");
    HWND main = WaitWindow(program.Id(), kMainCaption, 5000);
    CheckLanguage(program, main, true);
    CheckTooltips(program, main, true, {});
    QuitFromTheMenu(program, main);
}

// On a German system, a bundle signed with the trusted key beside the program whose program
// file changed since (the script prepares it, and checks that the machine heard nothing).
void BundleRefusedGerman() {
    Program program = StartWithTheMachineStored();
    Answer(program, kCaptionUpdate, kAskUpdateGerman, IDYES);
    Answer(program, "Firmwarepaket abgelehnt", "Die Datei TQ8-PROG.MOT weicht vom Manifest ab",
           IDOK, "bundle-refused-german");
    Answer(program, kCaptionQuitGerman, kAskQuitGerman, IDYES);
}

// No, then Yes: the program ends without its main window and without a port (the script
// checks the ports).
void QuitAtOnce() {
    Program program = StartWithTheMachineStored();
    Answer(program, kCaptionUpdate, kAskUpdate, IDNO);
    Answer(program, kCaptionQuit, kAskQuit, IDYES, "quit");
    Check(program.WaitExit(10000) == 0, "exit code not 0");
    Check(!MainWindowWasVisible(), "the main window was shown");
}

// Each scenario with the seconds it may take at the most, the simulated machine's start
// and the screenshots' conversion included.
struct Scenario {
    void (*run)();
    int seconds;
};
const std::map<std::string, Scenario> kScenarios = {
    {"update-at-start-up", {UpdateAtStartUp, 300}},
    {"main-window", {MainWindowTour, 180}},
    {"interface-search", {InterfaceSearch, 120}},
    {"search-pressed-twice", {SearchPressedTwice, 90}},
    {"interface-cancel", {InterfaceCancel, 120}},
    {"download-failure", {DownloadFailure, 300}},
    {"quit-at-once", {QuitAtOnce, 60}},
    {"update-german", {UpdateInGerman, 300}},
    {"german-locale", {GermanLocale, 90}},
    {"checksum-failure", {ChecksumFailure, 300}},
    {"no-connection", {NoConnection, 90}},
    {"bundle-refused-german", {BundleRefusedGerman, 90}},
};

}  // namespace

// Without a known scenario: the list, a line "NAME SECONDS" each.
int main(int argc, char** argv) {
    if (argc != 2 || kScenarios.count(argv[1]) == 0) {
        for (const auto& [name, scenario] : kScenarios) {
            std::printf("%s %d\n", name.c_str(), scenario.seconds);
        }
        return argc == 1 ? 0 : 2;
    }
    try {
        kScenarios.at(argv[1]).run();
    } catch (const Failure& failure) {
        std::printf("FAILED: %s\n", failure.message.c_str());
        return 1;
    }
    return 0;
}
