#pragma once

#include "frame/service_object.h"
#include "hostlens/ActiveDirectory.h"

class CActiveDirectory : public CLoggingServiceObject<IActiveDirectory> {
public:
    explicit CActiveDirectory(ILogbridge* logger) : CLoggingServiceObject(logger) {}

    DWORD GetActiveDirectoryInfo(ActiveDirectoryInfo& info) override;
};
