#include "scripted_frontend.h"

#include "support/frontend.h"

namespace scripted {
namespace {

struct State {
    std::mutex mutex;
    std::vector<ShownBox> boxes;
    std::vector<PostedMessage> posts;
    std::deque<int> answers;
    int defaultAnswer = kIdNo;
    std::deque<std::function<void()>> messages;
    size_t dispatched = 0;
    std::vector<ProgressCall> progress;
    int nextProgress = 0;
    std::function<int(WindowHandle)> selection;
    size_t selectionsShown = 0;
};

State& S() {
    static State state;
    return state;
}

}  // namespace

std::vector<ShownBox> Boxes() {
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().boxes;
}

std::vector<PostedMessage> Posts() {
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().posts;
}

std::vector<ProgressCall> ProgressCalls() {
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().progress;
}

void SetInterfaceSelection(std::function<int(WindowHandle)> handler) {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().selection = std::move(handler);
}

size_t InterfaceSelectionsShown() {
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().selectionsShown;
}

void Reset() {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().progress.clear();
    S().selection = nullptr;
    S().selectionsShown = 0;
    S().boxes.clear();
    S().posts.clear();
    S().answers.clear();
    S().defaultAnswer = kIdNo;
    S().messages.clear();
    S().dispatched = 0;
}

void QueueAnswer(int answer) {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().answers.push_back(answer);
}

void SetDefaultAnswer(int answer) {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().defaultAnswer = answer;
}

void QueueMessage(std::function<void()> message) {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().messages.push_back(std::move(message));
}

size_t PendingMessages() {
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().messages.size();
}

size_t DispatchedMessages() {
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().dispatched;
}

}  // namespace scripted

using scripted::S;

int FrontEndMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned type) {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().boxes.push_back(
        {owner, text != nullptr ? text : "", caption != nullptr ? caption : "", type});
    if ((type & kMbButtonMask) != kMbYesNo) {
        return kIdOk;
    }
    if (S().answers.empty()) {
        return S().defaultAnswer;
    }
    const int answer = S().answers.front();
    S().answers.pop_front();
    return answer;
}

unsigned FrontEndDispatchMessages(unsigned limit) {
    unsigned count = 0;
    for (;;) {
        std::function<void()> message;
        {
            std::lock_guard<std::mutex> lock(S().mutex);
            if (S().messages.empty()) {
                break;
            }
            message = std::move(S().messages.front());
            S().messages.pop_front();
            ++S().dispatched;
        }
        message();  // outside the lock: a message may queue further messages
        ++count;
        if (count > limit) {
            break;
        }
    }
    return count;
}

bool FrontEndMessagesPending() {
    return scripted::PendingMessages() > 0;
}

void FrontEndPostMessage(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().posts.push_back({window, message, wParam, lParam});
}

void FrontEndNotice(const char*) {}

int FrontEndWakeDescriptor() {
    return -1;
}

namespace {

void RecordProgress(WindowHandle window, std::string what) {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().progress.push_back({window, std::move(what)});
}

}  // namespace

WindowHandle FrontEndProgressOpen(WindowHandle, const char* caption) {
    WindowHandle window = nullptr;
    {
        std::lock_guard<std::mutex> lock(S().mutex);
        // Distinct, never dereferenced handles.
        window =
            reinterpret_cast<WindowHandle>(static_cast<uintptr_t>(0x7000 + ++S().nextProgress));
    }
    RecordProgress(window, std::string("open ") + (caption != nullptr ? caption : ""));
    return window;
}

void FrontEndProgressText(WindowHandle progress, const char* text) {
    RecordProgress(progress, std::string("text ") + (text != nullptr ? text : ""));
}

void FrontEndProgressRange(WindowHandle progress, uint32_t maximum) {
    RecordProgress(progress, "range " + std::to_string(maximum));
}

void FrontEndProgressPosition(WindowHandle progress, uint32_t position) {
    RecordProgress(progress, "pos " + std::to_string(position));
}

// Left out of the record: the tests follow what the window shows.
void FrontEndProgressDone(WindowHandle) {}

void FrontEndProgressClose(WindowHandle progress) {
    RecordProgress(progress, "close");
}

int FrontEndSelectInterface(WindowHandle owner) {
    std::function<int(WindowHandle)> handler;
    {
        std::lock_guard<std::mutex> lock(S().mutex);
        ++S().selectionsShown;
        handler = S().selection;
    }
    return handler ? handler(owner) : 0;
}
