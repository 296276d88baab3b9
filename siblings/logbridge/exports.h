// The logging library's two exports, declared for its own sources and for the
// programs that link it directly.
#pragma once

#include "hostlens/Logbridge.h"

// A module's symbols are hidden; its exports are named again by its version script
// on Linux and by its .def file on Windows.
#define LOGBRIDGE_EXPORT extern "C" __attribute__((visibility("default")))

// The process's logger, one reference more; null only when it cannot be made.
LOGBRIDGE_EXPORT ILogbridge* GetILogbridge();
// Releases the reference held in *logger and clears it. Null and cleared pointers
// are accepted and left alone.
LOGBRIDGE_EXPORT void FreeILogbridge(ILogbridge** logger);
