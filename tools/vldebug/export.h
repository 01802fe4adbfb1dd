#pragma once
// Marks what the shared object exports. Everything else is hidden; on Windows the .def
// file names the exports instead, so the names stay exactly as written.

#ifdef _WIN32
#define VL_EXPORT
#else
#define VL_EXPORT __attribute__((visibility("default")))
#endif
