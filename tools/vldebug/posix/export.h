#pragma once
// Marks what the shared object exports; everything else is hidden.

#define VL_EXPORT __attribute__((visibility("default")))
