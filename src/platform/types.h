#pragma once
// Handle types shared by the core and the OS layer. On Win32 they carry the native
// handles (HWND, HMODULE); elsewhere they are opaque values of the front end or loader.

#include <cstdint>

using WindowHandle = void*;
using ModuleHandle = void*;
