#include "system/system.h"

// Not built yet: the agent is told so by the result code.
DWORD CSystem::GetLastBootUpTime(SYSTEMTIME* /*bootTime*/) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}
