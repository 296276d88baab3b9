#pragma once

#include "frame/service_object.h"
#include "hostlens/Hardware.h"

class CHardware : public CLoggingServiceObject<IHardware> {
public:
    explicit CHardware(ILogbridge* logger) : CLoggingServiceObject(logger) {}

    DWORD GetHardwareInfo(HardwareInfo& info) override;
};
