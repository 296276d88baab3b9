#pragma once

#include "frame/service_object.h"
#include "hostlens/System.h"

class CSystem : public CLoggingServiceObject<ISystem> {
public:
    explicit CSystem(ILogbridge* logger) : CLoggingServiceObject(logger) {}

    DWORD GetLastBootUpTime(SYSTEMTIME* bootTime) override;
};
