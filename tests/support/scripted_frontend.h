#pragma once
// The tests' front end: records every message box and answers from a script.

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/types.h"

namespace scripted {

struct ShownBox {
    WindowHandle owner;
    std::string text;
    std::string caption;
    unsigned type;
};

struct PostedMessage {
    WindowHandle window;
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
};

// One call on a progress window, in order: "open <caption>", "text <text>",
// "range <n>", "pos <n>", "close".
struct ProgressCall {
    WindowHandle window;
    std::string what;
};

// Everything the front end saw. Reset() clears it and the script.
std::vector<ShownBox> Boxes();
std::vector<PostedMessage> Posts();
std::vector<ProgressCall> ProgressCalls();
void Reset();

// What the interface selection does when shown (with the owner); without a handler it
// is cancelled. Counts how often it was shown.
void SetInterfaceSelection(std::function<int(WindowHandle)> handler);
size_t InterfaceSelectionsShown();

// Answers for the next questions, in order; without one a question is answered
// with defaultAnswer (kIdNo unless changed).
void QueueAnswer(int answer);
void SetDefaultAnswer(int answer);

// A pending user-interface message: a function run when dispatched.
void QueueMessage(std::function<void()> message);
size_t PendingMessages();
size_t DispatchedMessages();

}  // namespace scripted
