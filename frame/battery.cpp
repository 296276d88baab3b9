#include "frame/battery.h"

// Not built yet: the agent is told so by the result code.
DWORD CBattery::GetBatteryStatus(SYSTEM_POWER_STATUS* /*status*/) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}

