// The logger of the agent's logging library (Logbridge.dll). The service library
// calls only Log, the operation in slot 1.
#pragma once

#include "platform/win32.h"

class ILogbridge {
public:
    virtual ~ILogbridge() = default;
    // printf-style narrow format; %ws takes a UTF-16 string. The result is not used.
    virtual int Log(int level, const char* format, ...) = 0;
};

// Levels the service library logs at.
enum LogLevel : int {
    LOG_LEVEL_WARNING = 20,
    LOG_LEVEL_ERROR = 30,
    LOG_LEVEL_EXCEPTION = 50,
};

// Exports of the logging library.
extern "C" {
using GetILogbridgeFn = ILogbridge* (*)();
using FreeILogbridgeFn = void (*)(ILogbridge** logger);
}
