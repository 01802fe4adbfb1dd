#include "platform/child_process.h"

#include <windows.h>

#include <mutex>

#include "platform/win32/unique_handle.h"

namespace platform {

struct ChildProcess::State {
    UniqueHandle process;
    DWORD id = 0;
    std::mutex waitMutex;
    bool waited = false;
    ChildExit exit;
};

namespace {

// Children are started one after another from one thread: each pipe end meant for a child
// is inheritable only until that child has it, and the parent's own ends never are.
std::mutex gStartMutex;

// The child's end is inheritable and stays with the caller until the child has it; the
// parent's never is.
bool MakePipe(UniqueHandle& childEnd, ChildPipe& parentEnd, bool childReads) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE r = nullptr;
    HANDLE w = nullptr;
    if (!::CreatePipe(&r, &w, &inherit, 0)) {
        return false;
    }
    HANDLE parent = childReads ? w : r;
    childEnd.Reset(childReads ? r : w);
    parentEnd.Adopt(reinterpret_cast<intptr_t>(parent));
    return ::SetHandleInformation(parent, HANDLE_FLAG_INHERIT, 0) != FALSE;
}

// The command line that the C runtime of the child splits back into args.
std::string Quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
        return arg;
    }
    std::string out(1, '"');
    size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    out.push_back('"');
    return out;
}

std::string ErrorText(DWORD code) {
    char text[256] = "";
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, text, sizeof text, nullptr);
    std::string out(text, n);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) {
        out.pop_back();
    }
    return out.empty() ? "error " + std::to_string(code) : out;
}

HANDLE Handle(intptr_t native) {
    return reinterpret_cast<HANDLE>(native);
}

}  // namespace

void ChildPipe::Close() {
    if (open_) {
        ::CloseHandle(Handle(native_));
        open_ = false;
    }
}

long ChildPipe::Read(char* buffer, size_t size) {
    if (!open_) {
        return -1;
    }
    DWORD n = 0;
    if (!::ReadFile(Handle(native_), buffer, static_cast<DWORD>(size), &n, nullptr)) {
        return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return static_cast<long>(n);
}

bool ChildPipe::WriteAll(const std::string& text) {
    if (!open_) {
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        DWORD n = 0;
        if (!::WriteFile(Handle(native_), text.data() + done,
                         static_cast<DWORD>(text.size() - done), &n, nullptr) ||
            n == 0) {
            return false;
        }
        done += n;
    }
    return true;
}

ChildProcess::ChildProcess() : state_(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
    ClosePipes();
    if (state_->process) {
        Wait();
    }
}

bool ChildProcess::Start(const std::vector<std::string>& args, std::string& error) {
    if (args.empty()) {
        error = "no program";
        return false;
    }
    std::lock_guard<std::mutex> lock(gStartMutex);
    UniqueHandle childInput, childOutput, childErrors;
    if (!MakePipe(childInput, input_, true) || !MakePipe(childOutput, output_, false) ||
        !MakePipe(childErrors, errors_, false)) {
        error = ErrorText(::GetLastError());
        return false;
    }
    std::string commandLine;
    for (const std::string& arg : args) {
        if (!commandLine.empty()) {
            commandLine += ' ';
        }
        commandLine += Quote(arg);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput.Get();
    startup.hStdOutput = childOutput.Get();
    startup.hStdError = childErrors.Get();
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(args[0].c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                          nullptr, &startup, &info)) {
        error = ErrorText(::GetLastError());
        return false;
    }
    ::CloseHandle(info.hThread);
    state_->process.Reset(info.hProcess);
    state_->id = info.dwProcessId;
    return true;
}

void ChildProcess::Interrupt() {}

void ChildProcess::Kill() {
    // The process handle stays valid until it is closed, so no id can be reused here.
    if (state_->process) {
        ::TerminateProcess(state_->process.Get(), 137);
    }
}

ChildExit ChildProcess::Wait() {
    if (!state_->process) {
        return state_->exit;
    }
    ::WaitForSingleObject(state_->process.Get(), INFINITE);
    std::lock_guard<std::mutex> lock(state_->waitMutex);
    if (!state_->waited) {
        DWORD code = 0;
        if (::GetExitCodeProcess(state_->process.Get(), &code)) {
            state_->exit = {static_cast<int>(code), 0};
        }
        state_->waited = true;
    }
    return state_->exit;
}

long ChildProcess::Id() const {
    return static_cast<long>(state_->id);
}

}  // namespace platform
