#include "hardware/hardware.h"

// Not built yet: the agent is told so by the result code.
DWORD CHardware::GetHardwareInfo(HardwareInfo& /*info*/) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}
