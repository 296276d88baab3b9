#pragma once

#include "platform/win32.h"

class IBattery {
public:
    virtual ~IBattery() = default;
    // 0, or ERROR_NO_DATA (232) when the platform gives no power status.
    virtual DWORD GetBatteryStatus(SYSTEM_POWER_STATUS* status) = 0;
};
