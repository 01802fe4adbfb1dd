#pragma once
// A small robot for TQ8Flash.exe under wine: starts the program, finds its windows by
// caption, reads their texts, presses their buttons, asks for screenshots.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace robot {

// A failed check: the scenario stops and the message is reported.
struct Failure {
    std::string message;
};
[[noreturn]] void Fail(const std::string& message);
void Check(bool condition, const std::string& message);
void Log(const std::string& message);

class Program {
  public:
    // Starts the program file with the command line given (its own path first).
    Program(const std::string& file, const std::string& commandLine);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    DWORD Id() const { return info_.dwProcessId; }
    // Waits for the exit; the exit code, or fails after timeoutMs.
    DWORD WaitExit(DWORD timeoutMs);
    bool Running() const;
    // Loads a library into the program on a thread of its own and waits for the load
    // to finish (successful or declined).
    bool Inject(const std::string& library) const;

  private:
    PROCESS_INFORMATION info_{};
};

// Whether the program's main window has been visible at any of the robot's looks.
void WatchMainWindow(DWORD processId);
bool MainWindowWasVisible();
HWND MainWindow(DWORD processId);

// Waits for a visible top-level window of the process with the exact caption (or any
// window the predicate accepts); fails after timeoutMs.
HWND WaitWindow(DWORD processId, const std::string& caption, DWORD timeoutMs);
HWND WaitWindowWhere(DWORD processId, const std::function<bool(HWND)>& accept,
                     const std::string& what, DWORD timeoutMs);
// Waits until the window is gone.
void WaitGone(HWND window, DWORD timeoutMs);
// Whether a window of that caption is shown now.
bool Shown(DWORD processId, const std::string& caption);

std::string Text(HWND window);
std::string ClassName(HWND window);
// The texts of every descendant, one per line.
std::string ChildTexts(HWND window);
std::string ItemText(HWND dialog, int id);

// Clicks the dialog's button with the control id (posted: the click may start a long
// operation that the robot must watch meanwhile).
void Press(HWND dialog, int id);
// Sends a menu or toolbar command to the main window.
void Command(HWND window, int command);

// Lets the display settle, then saves a picture of the screen as NAME.bmp in the folder
// TQ8_GUI_SHOTS names (nothing without it). Fails when the subject window's area of the
// picture is all one colour: the window was not drawn where it claims to be.
void Shot(const std::string& name, HWND subject);

// Puts the mouse pointer on a point of the window's client area, and tells the window.
void Hover(HWND window, POINT client);

// The string table of a program file, read as data (its code never runs in the robot).
class StringTable {
  public:
    explicit StringTable(const std::string& file);
    ~StringTable();
    StringTable(const StringTable&) = delete;
    StringTable& operator=(const StringTable&) = delete;

    // The string with that id, empty when there is none.
    std::string Text(unsigned id) const;

  private:
    HMODULE module_ = nullptr;
};

// Lets time pass while the main window is watched.
void Pause(DWORD ms);

// The program's registry value "Interface", or `missing` when it is not there.
long ReadInterface(long missing);
void WriteInterface(long value);
void DeleteSettings();

bool Contains(const std::string& text, const std::string& part);

}  // namespace robot
