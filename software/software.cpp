#include "software/software.h"

// Not built yet: the agent is told so by the result code.
DWORD CSoftware::GetSoftware(std::vector<SoftwareEntry>& /*entries*/) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}
