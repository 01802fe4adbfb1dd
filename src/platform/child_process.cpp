// What a parent does with its child's pipes, the same on every system.

#include "platform/child_process.h"

namespace platform {

void ChildPipe::Adopt(intptr_t native) {
    Close();
    native_ = native;
    open_ = true;
}

void ChildProcess::ClosePipes() {
    input_.Close();
    output_.Close();
    errors_.Close();
}

bool ChildProcess::Write(const std::string& text) {
    return input_.WriteAll(text);
}

void ChildProcess::CloseInput() {
    input_.Close();
}

long ChildProcess::ReadOutput(char* buffer, size_t size) {
    return output_.Read(buffer, size);
}

long ChildProcess::ReadErrors(char* buffer, size_t size) {
    return errors_.Read(buffer, size);
}

}  // namespace platform
