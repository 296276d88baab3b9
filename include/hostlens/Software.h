#pragma once

#include <vector>

#include "platform/win32.h"

struct SoftwareEntry {
    WString DisplayName;
    WString Publisher;
    WString DisplayVersion;
    SYSTEMTIME InstallDate{};     // all zero when missing
    ULONGLONG EstimatedSize = 0;  // bytes
    bool IsUpdate = false;
    WString ParentName;
};

class ISoftware {
public:
    virtual ~ISoftware() = default;
    // 0 when at least one entry was collected, ERROR_NO_DATA (232) otherwise.
    virtual DWORD GetSoftware(std::vector<SoftwareEntry>& entries) = 0;
};
