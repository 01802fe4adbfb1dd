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

void Reset() {
    std::lock_guard<std::mutex> lock(S().mutex);
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

int FrontEndWakeDescriptor() {
    return -1;
}
