#include "frame/battery.h"

#include <cstring>

#include "frame/trace.h"

HL_TRACE_MODULE("frame/battery")

DWORD CBattery::GetBatteryStatus(SYSTEM_POWER_STATUS* status) {
    if (status == nullptr) {
        TRACE_ERROR();
        return ERROR_INVALID_PARAMETER;
    }
    // No reading yet: 255 for the three status bytes, 0xFFFFFFFF for both times, and
    // no system status flag.
    std::memset(status, 0xFF, sizeof(SYSTEM_POWER_STATUS));
    // Bound by position: the fourth byte is SystemStatusFlag in current Windows headers
    // and still Reserved1 in older ones.
    auto& [acLineStatus, batteryFlag, batteryLifePercent, systemStatusFlag, batteryLifeTime, batteryFullLifeTime] =
        *status;
    systemStatusFlag = 0;
    if (GetSystemPowerStatus(status)) return ERROR_SUCCESS;
    // The platform's own error code is not consulted: the agent always sees "no data".
    TRACE_ERROR();
    if (logger_ != nullptr) logger_->Log(LOG_LEVEL_ERROR, "ERROR cannot get battery status");
    return ERROR_NO_DATA;
}
