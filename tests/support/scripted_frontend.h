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

// Everything the front end saw. Reset() clears it and the script.
std::vector<ShownBox> Boxes();
std::vector<PostedMessage> Posts();
void Reset();

// Answers for the next questions, in order; without one a question is answered
// with defaultAnswer (kIdNo unless changed).
void QueueAnswer(int answer);
void SetDefaultAnswer(int answer);

// A pending user-interface message: a function run when dispatched.
void QueueMessage(std::function<void()> message);
size_t PendingMessages();
size_t DispatchedMessages();

}  // namespace scripted
