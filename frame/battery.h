// The power source and battery state, passed through from the platform.
#pragma once

#include "frame/service_object.h"
#include "hostlens/Battery.h"

class CBattery : public CLoggingServiceObject<IBattery> {
public:
    explicit CBattery(ILogbridge* logger) : CLoggingServiceObject(logger) {}

    DWORD GetBatteryStatus(SYSTEM_POWER_STATUS* status) override;
};
