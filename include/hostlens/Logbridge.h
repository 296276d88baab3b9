// The logger of the agent's logging library (Logbridge.dll). The service library
// calls only Log, the operation in slot 1.
#pragma once

#include "platform/win32.h"

class ILogbridge {
public:
    // Slot 0 is the logger's destructor inside the logging library, never called
    // through this interface. It is declared as one plain slot so that Log is slot 1
    // with every compiler: a virtual destructor takes two slots in GCC's C++ ABI.
    virtual void ReservedSlot0() = 0;
    // printf-style narrow format; %ws takes a UTF-16 string. The result is not used.
    virtual int Log(int level, const char* format, ...) = 0;

protected:
    ~ILogbridge() = default;
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
