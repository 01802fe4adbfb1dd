#pragma once
// The operator's interrupt key (Ctrl-C, and Ctrl-Break on Windows), and on POSIX the
// requests to end that nobody types: SIGTERM (a service stop) and SIGHUP (a closed
// terminal), which count as interrupts too.
//
// Beside it the run's one stop signal: every interrupt sets it while a handler is
// installed, and so does anyone who learns that the run should stop without an
// interrupt (a line's child whose parent has gone). The download, the console and the
// line read it.

namespace platform {

// Called once per interrupt with the number of interrupts so far (1 for the first), the
// stop signal already set. It runs inside a signal handler (POSIX) or on a thread of its
// own (Win32), so it may only touch lock-free atomics and call ExitNow.
using InterruptHandler = void (*)(int count);

// Replaces the default reaction (ending the process) by the handler; nullptr puts the
// default back. A blocking console read that an interrupt breaks returns at once
// instead of being restarted, so a question waiting for its answer ends too; on POSIX,
// standard input is at its end from the interrupt on, so one asked a moment later does
// not wait either.
bool SetInterruptHandler(InterruptHandler handler);

// The interrupts since the handler was last set.
int InterruptCount();

// The stop signal. Lock-free: safe on any thread and inside a signal handler, any number
// of times. It stays set for the rest of the process; ClearStop is for a process that
// runs more than once (tests).
void RequestStop();
bool StopRequested();
void ClearStop();

// A write to a pipe whose reader has gone fails with an error instead of ending the
// process (POSIX: SIGPIPE is ignored); nothing to do on Win32.
void IgnoreBrokenPipes();

// Ends the process at once with the code: no destructors, no buffered output flushed
// beyond what the system does for open files. Safe inside the handler.
[[noreturn]] void ExitNow(int code);

}  // namespace platform
