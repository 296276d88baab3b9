#pragma once

#include "platform/win32.h"

class ISystem {
public:
    virtual ~ISystem() = default;
    // The last start time in UTC. 0, ERROR_NOT_FOUND (1168) or ERROR_NOT_ENOUGH_MEMORY (8).
    virtual DWORD GetLastBootUpTime(SYSTEMTIME* bootTime) = 0;
};
