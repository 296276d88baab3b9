#include "frame/battery.h"

#include "frame/trace.h"

HL_TRACE_MODULE("frame/battery")

DWORD CBattery::GetBatteryStatus(SYSTEM_POWER_STATUS* status) {
    if (status == nullptr) {
        TRACE_ERROR();
        return ERROR_INVALID_PARAMETER;
    }
    // No reading yet: 255 for the three status bytes, no system status flag, and
    // 0xFFFFFFFF for both times. Set by position: mingw-w64's headers call the flag
    // byte Reserved1.
    *status = SYSTEM_POWER_STATUS{255, 255, 255, 0, 0xFFFFFFFF, 0xFFFFFFFF};
    if (GetSystemPowerStatus(status)) return ERROR_SUCCESS;
    // The platform's own error code is not consulted: the agent always sees "no data".
    TRACE_ERROR();
    if (logger_ != nullptr) logger_->Log(LOG_LEVEL_ERROR, "ERROR cannot get battery status");
    return ERROR_NO_DATA;
}
