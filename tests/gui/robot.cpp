#include "robot.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace robot {

namespace {

DWORD gWatchedProcess = 0;
bool gMainWindowVisible = false;

constexpr const char* kSettingsKey = "SOFTWARE\\Ostrelwerk\\TQ8Flash";

struct Search {
    DWORD processId;
    const std::function<bool(HWND)>* accept;
    HWND found;
};

BOOL CALLBACK FindTopLevel(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && ::IsWindowVisible(window) && (*search->accept)(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindWindowOf(DWORD processId, const std::function<bool(HWND)>& accept) {
    Search search{processId, &accept, nullptr};
    ::EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void Look() {
    if (gWatchedProcess != 0) {
        HWND main = MainWindow(gWatchedProcess);
        if (main != nullptr && ::IsWindowVisible(main)) {
            gMainWindowVisible = true;
        }
    }
}

BOOL CALLBACK CollectText(HWND window, LPARAM param) {
    auto* texts = reinterpret_cast<std::string*>(param);
    *texts += Text(window);
    *texts += '\n';
    return TRUE;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The screen as 24-bit rows, bottom row first, as a BMP file holds them.
struct Picture {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<unsigned char> rows;
};

// Read through GDI rather than from the X server: wine composes its windows' surfaces for
// a read of the screen DC, while the X root shows a dialog over a visible owner as black.
Picture CaptureScreen() {
    Picture picture;
    picture.width = ::GetSystemMetrics(SM_CXSCREEN);
    picture.height = ::GetSystemMetrics(SM_CYSCREEN);
    picture.stride = (picture.width * 3 + 3) & ~3;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = picture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory != nullptr && bitmap != nullptr) {
        HGDIOBJ previous = ::SelectObject(memory, bitmap);
        if (::BitBlt(memory, 0, 0, picture.width, picture.height, screen, 0, 0,
                     SRCCOPY | CAPTUREBLT)) {
            ::GdiFlush();
            const auto* first = static_cast<const unsigned char*>(bits);
            picture.rows.assign(first, first + static_cast<size_t>(picture.stride) *
                                                   static_cast<size_t>(picture.height));
        }
        ::SelectObject(memory, previous);
    }
    if (bitmap != nullptr) {
        ::DeleteObject(bitmap);
    }
    if (memory != nullptr) {
        ::DeleteDC(memory);
    }
    ::ReleaseDC(nullptr, screen);
    Check(!picture.rows.empty(), "cannot read the screen");
    return picture;
}

// Whether the area (screen coordinates) holds one colour only; an area off the screen
// shows nothing and counts as uniform.
bool Uniform(const Picture& picture, RECT area) {
    const RECT screen{0, 0, picture.width, picture.height};
    RECT visible{};
    if (!::IntersectRect(&visible, &area, &screen)) {
        return true;
    }
    const unsigned char* reference = nullptr;
    for (int y = visible.top; y < visible.bottom; ++y) {
        const unsigned char* row =
            picture.rows.data() + static_cast<size_t>(picture.height - 1 - y) * picture.stride;
        for (int x = visible.left; x < visible.right; ++x) {
            const unsigned char* pixel = row + static_cast<size_t>(x) * 3;
            if (reference == nullptr) {
                reference = pixel;
            } else if (pixel[0] != reference[0] || pixel[1] != reference[1] ||
                       pixel[2] != reference[2]) {
                return false;
            }
        }
    }
    return true;
}

void SaveBitmap(const Picture& picture, const std::string& file) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = picture.width;
    header.biHeight = picture.height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    BITMAPFILEHEADER fileHeader{};
    fileHeader.bfType = 0x4D42;  // "BM"
    fileHeader.bfOffBits = sizeof fileHeader + sizeof header;
    fileHeader.bfSize = fileHeader.bfOffBits + static_cast<DWORD>(picture.rows.size());
    FILE* out = std::fopen(file.c_str(), "wb");
    Check(out != nullptr, "cannot write " + file);
    const bool written = std::fwrite(&fileHeader, sizeof fileHeader, 1, out) == 1 &&
                         std::fwrite(&header, sizeof header, 1, out) == 1 &&
                         std::fwrite(picture.rows.data(), picture.rows.size(), 1, out) == 1;
    const bool closed = std::fclose(out) == 0;
    Check(written && closed, "cannot write " + file);
}

}  // namespace

void Fail(const std::string& message) {
    throw Failure{message};
}

void Check(bool condition, const std::string& message) {
    if (!condition) {
        Fail(message);
    }
}

void Log(const std::string& message) {
    std::printf("  %s\n", message.c_str());
    std::fflush(stdout);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

Program::Program(const std::string& file, const std::string& commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string line = commandLine;
    if (!::CreateProcessA(file.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info_)) {
        Fail("cannot start " + file);
    }
    WatchMainWindow(info_.dwProcessId);
}

Program::~Program() {
    if (Running()) {
        ::TerminateProcess(info_.hProcess, 99);
        ::WaitForSingleObject(info_.hProcess, 5000);
    }
    ::CloseHandle(info_.hThread);
    ::CloseHandle(info_.hProcess);
}

bool Program::Running() const {
    return ::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD Program::WaitExit(DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (Running()) {
        if (::GetTickCount() - start > timeoutMs) {
            Fail("the program did not end");
        }
        Pause(20);
    }
    DWORD code = 0;
    ::GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

bool Program::Inject(const std::string& library) const {
    void* remote = ::VirtualAllocEx(info_.hProcess, nullptr, library.size() + 1,
                                    MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remote == nullptr || !::WriteProcessMemory(info_.hProcess, remote, library.c_str(),
                                                   library.size() + 1, nullptr)) {
        return false;
    }
    auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
    HANDLE thread = ::CreateRemoteThread(info_.hProcess, nullptr, 0, load, remote, 0, nullptr);
    if (thread == nullptr) {
        ::VirtualFreeEx(info_.hProcess, remote, 0, MEM_RELEASE);
        return false;
    }
    const bool done = ::WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
    ::CloseHandle(thread);
    ::VirtualFreeEx(info_.hProcess, remote, 0, MEM_RELEASE);
    return done;
}

void WatchMainWindow(DWORD processId) {
    gWatchedProcess = processId;
    gMainWindowVisible = false;
}

bool MainWindowWasVisible() {
    Look();
    return gMainWindowVisible;
}

HWND MainWindow(DWORD processId) {
    HWND window = nullptr;
    while ((window = ::FindWindowExA(nullptr, window, "TQ8FlashClass", nullptr)) != nullptr) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == processId) {
            return window;
        }
    }
    return nullptr;
}

HWND WaitWindowWhere(DWORD processId, const std::function<bool(HWND)>& accept,
                     const std::string& what, DWORD timeoutMs) {
    // Each look asks the program's windows for their texts, and the program answers
    // between its blocks: a window that takes longer than a second to come (the end of a
    // download) is looked for less often, so the looking does not slow what it waits for.
    constexpr DWORD kQuickLooksMs = 1000;
    const DWORD start = ::GetTickCount();
    for (;;) {
        Look();
        if (HWND window = FindWindowOf(processId, accept)) {
            return window;
        }
        const DWORD waited = ::GetTickCount() - start;
        if (waited > timeoutMs) {
            Fail("no window " + what);
        }
        ::Sleep(waited < kQuickLooksMs ? 20 : 250);
    }
}

HWND WaitWindow(DWORD processId, const std::string& caption, DWORD timeoutMs) {
    const HWND window = WaitWindowWhere(
        processId, [&](HWND w) { return Text(w) == caption; }, "\"" + caption + "\"", timeoutMs);
    // Let the window finish its first paint before anyone looks at it.
    Pause(150);
    return window;
}

bool Shown(DWORD processId, const std::string& caption) {
    return FindWindowOf(processId, [&](HWND w) { return Text(w) == caption; }) != nullptr;
}

void WaitGone(HWND window, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (::IsWindow(window) && ::IsWindowVisible(window)) {
        if (::GetTickCount() - start > timeoutMs) {
            Fail("window \"" + Text(window) + "\" stays");
        }
        Pause(20);
    }
}

std::string Text(HWND window) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
        return {};
    }
    // The text may change between the two messages ("Erasing memory" becomes "Download
    // active"): only a copy with room to spare is whole.
    std::string text;
    for (size_t capacity = length + 2;; capacity *= 2) {
        text.assign(capacity, '\0');
        DWORD_PTR copied = 0;
        ::SendMessageTimeoutA(window, WM_GETTEXT, text.size(),
                              reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 2000,
                              &copied);
        if (copied + 1 < capacity || capacity > 65536) {
            text.resize(copied);
            return text;
        }
    }
}

std::string ClassName(HWND window) {
    char name[64] = "";
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

std::string ChildTexts(HWND window) {
    std::string texts;
    ::EnumChildWindows(window, CollectText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

std::string ItemText(HWND dialog, int id) {
    HWND item = ::GetDlgItem(dialog, id);
    Check(item != nullptr, "no control " + std::to_string(id) + " in \"" + Text(dialog) + "\"");
    return Text(item);
}

void Press(HWND dialog, int id) {
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void Command(HWND window, int command) {
    ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void Hover(HWND window, POINT client) {
    POINT screen = client;
    Check(::ClientToScreen(window, &screen) != FALSE, "no window to hover over");
    Check(::SetCursorPos(screen.x, screen.y) != FALSE, "cannot move the mouse pointer");
    // Wine does not always deliver the move that SetCursorPos makes once a dialog of the
    // program has come and gone; the window gets it from here as well.
    ::PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(client.x, client.y));
}

StringTable::StringTable(const std::string& file)
    : module_(::LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
    Check(module_ != nullptr, "cannot read the resources of " + file);
}

StringTable::~StringTable() {
    ::FreeLibrary(module_);
}

std::string StringTable::Text(unsigned id) const {
    char text[1024] = "";
    const int length = ::LoadStringA(module_, id, text, sizeof text);
    return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

void Pause(DWORD ms) {
    const DWORD start = ::GetTickCount();
    do {
        Look();
        ::Sleep(ms < 20 ? ms : 20);
    } while (::GetTickCount() - start < ms);
}

void Shot(const std::string& name, HWND subject) {
    const std::string folder = Environment("TQ8_GUI_SHOTS");
    if (folder.empty()) {
        return;
    }
    // Wine paints some controls (toolbar buttons, a fresh dialog) a little late.
    Pause(600);
    RECT area{};
    Check(::GetWindowRect(subject, &area) != FALSE, "screenshot " + name + ": no window");
    Picture picture = CaptureScreen();
    for (int retry = 0; retry < 10 && Uniform(picture, area); ++retry) {
        Pause(200);
        picture = CaptureScreen();
    }
    // Kept either way: the picture is the evidence of a failure.
    SaveBitmap(picture, folder + "\\" + name + ".bmp");
    Check(!Uniform(picture, area),
          "screenshot " + name + ": the window \"" + Text(subject) + "\" is all one colour");
}

long ReadInterface(long missing) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, "Interface", RRF_RT_REG_DWORD, nullptr,
                       &value, &size) != ERROR_SUCCESS) {
        return missing;
    }
    return static_cast<long>(static_cast<LONG>(value));
}

void WriteInterface(long value) {
    const DWORD data = static_cast<DWORD>(value);
    Check(::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "Interface", REG_DWORD, &data,
                            sizeof data) == ERROR_SUCCESS,
          "cannot write the setting Interface");
}

void DeleteSettings() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
}

}  // namespace robot
