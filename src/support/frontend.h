#pragma once
// The functions through which the core reaches the person at the machine. Each program
// provides them at link time: the Win32 program, the console front end, and the scripted
// front end of the tests. Texts are in the program's single-byte code page (CP1252).

#include <cstdint>

#include "platform/types.h"

// Message box styles and answers, with the values of the Win32 API.
inline constexpr unsigned kMbOk = 0x00000000;
inline constexpr unsigned kMbYesNo = 0x00000004;
inline constexpr unsigned kMbIconError = 0x00000010;
inline constexpr unsigned kMbIconQuestion = 0x00000020;
inline constexpr unsigned kMbIconExclamation = 0x00000030;
inline constexpr unsigned kMbIconInformation = 0x00000040;
inline constexpr unsigned kMbButtonMask = 0x0000000F;
inline constexpr unsigned kMbIconMask = 0x000000F0;

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Window messages the core posts.
inline constexpr unsigned kWmCommNotify = 0x0044;
inline constexpr intptr_t kCnReceive = 1;

// Shows a modal message box owned by owner (which may be none) and returns the answer.
int FrontEndMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned type);

// A note for the person at the machine that asks nothing and changes nothing: the
// console prints it; the Win32 program leaves it to the trace.
void FrontEndNotice(const char* text);

// Takes pending user-interface messages of the calling thread off its queue and
// dispatches them, stopping when the queue is empty or when more than limit messages
// have been dispatched. Returns how many were dispatched.
unsigned FrontEndDispatchMessages(unsigned limit);

// Whether the calling thread has user-interface messages waiting.
bool FrontEndMessagesPending();

// Posts a message to a window; callable from any thread.
void FrontEndPostMessage(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t lParam);

// A descriptor that is readable while messages are pending, for waits that watch a port
// and the user interface together (POSIX); -1 when the front end has none.
int FrontEndWakeDescriptor();

// The progress window of one download: a caption, a line of text and a bar counted in
// KiB. Open returns its handle (none when it could not be shown; the other calls then do
// nothing); Close destroys it. The window has no way to cancel.
WindowHandle FrontEndProgressOpen(WindowHandle owner, const char* caption);
void FrontEndProgressText(WindowHandle progress, const char* text);
void FrontEndProgressRange(WindowHandle progress, uint32_t maximum);
void FrontEndProgressPosition(WindowHandle progress, uint32_t position);
// The image was sent and the machine acknowledged it; Close follows. The bar keeps the
// position of the last block: this only lets a front end say that the transfer is whole.
void FrontEndProgressDone(WindowHandle progress);
void FrontEndProgressClose(WindowHandle progress);

// Shows the interface selection modally, owned by owner, over the portable dialog logic
// (protocol/interface_dialog.h). 1 for OK (nInterface and "Interface" then hold the
// choice), 0 for Cancel.
int FrontEndSelectInterface(WindowHandle owner);
