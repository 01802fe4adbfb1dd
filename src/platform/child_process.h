#pragma once
// A program of ours started as a child with its standard input, output and error on pipes,
// so that the parent can talk to it and read what it says without it reaching the
// terminal. Reads block; a parent that serves several children reads each on a thread.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/child_pipe.h"

namespace platform {

struct ChildExit {
    int code = -1;   // the exit code, or -1 when a signal ended the child
    int signal = 0;  // the signal that ended it (POSIX), else 0
};

class ChildProcess {
  public:
    ChildProcess();
    ~ChildProcess();  // closes the pipes and waits for the child
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts args[0] with the other arguments. On POSIX the child gets a process group of
    // its own, so that the terminal's Ctrl-C reaches the parent alone and the parent
    // decides what each child is told; on Win32 it shares the console and receives the
    // console's Ctrl-C itself. False with the system's reason in error.
    bool Start(const std::vector<std::string>& args, std::string& error);

    // Writes all of text to the child's input; false when the child no longer reads it.
    bool Write(const std::string& text);
    void CloseInput();

    // Reads what the child wrote on its output or its error stream: the number of bytes,
    // 0 at the end, -1 on an error. Each may be called on a thread of its own.
    long ReadOutput(char* buffer, size_t size);
    long ReadErrors(char* buffer, size_t size);

    // Passes a Ctrl-C on (POSIX: SIGINT; Win32: nothing, the console gave it already).
    void Interrupt();
    // Ends the child at once.
    void Kill();
    // Waits for the child to end (once; later calls give the same answer).
    ChildExit Wait();

    long Id() const;

  private:
    void ClosePipes();

    ChildPipe input_;
    ChildPipe output_;
    ChildPipe errors_;
    struct State;  // the system's own: the process
    std::unique_ptr<State> state_;
};

}  // namespace platform
