#pragma once
// The .def file names what the DLL exports, so that the names stay exactly as written;
// the entry points need no mark of their own.

#define VL_EXPORT
