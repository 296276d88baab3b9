// Power status: what the machine's power facts say.
#include "platform/posix/machine/machine.h"
#include "platform/posix/win32_base.h"
#include "platform/posix/power/win32_power.h"

HOSTLENS_WIN32_API BOOL WINAPI GetSystemPowerStatus(LPSYSTEM_POWER_STATUS status) {
    if (auto error = hostlens::sim::detail::Fault("GetSystemPowerStatus")) {
        SetLastError(*error);
        return FALSE;
    }
    if (!status) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *status = hostlens::sim::MachineFacts().powerStatus;
    return TRUE;
}
