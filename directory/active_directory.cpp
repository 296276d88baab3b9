#include "directory/active_directory.h"

// Not built yet: the agent is told so by the result code.
DWORD CActiveDirectory::GetActiveDirectoryInfo(ActiveDirectoryInfo& /*info*/) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}
