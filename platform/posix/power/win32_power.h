// Power status.
#pragma once

#include "platform/posix/win32_types.h"

struct SYSTEM_POWER_STATUS {
    BYTE ACLineStatus;
    BYTE BatteryFlag;
    BYTE BatteryLifePercent;
    BYTE SystemStatusFlag;
    DWORD BatteryLifeTime;
    DWORD BatteryFullLifeTime;
};
using LPSYSTEM_POWER_STATUS = SYSTEM_POWER_STATUS*;

HOSTLENS_WIN32_API BOOL WINAPI GetSystemPowerStatus(LPSYSTEM_POWER_STATUS status);
