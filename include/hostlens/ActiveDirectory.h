#pragma once

#include "platform/win32.h"

struct ActiveDirectoryInfo {
    WString distinguishedName;
    WString objectGUID;
};

class IActiveDirectory {
public:
    virtual ~IActiveDirectory() = default;
    // 0, or ERROR_NOT_FOUND (1168).
    virtual DWORD GetActiveDirectoryInfo(ActiveDirectoryInfo& info) = 0;
};
