#pragma once

#include "frame/service_object.h"
#include "hostlens/Location.h"

namespace Hostlens {

class CLocationInfo : public CLoggingServiceObject<ILocation> {
public:
    explicit CLocationInfo(ILogbridge* logger) : CLoggingServiceObject(logger) {}

    DWORD GetLocation(LocationInfo& info) override;
};

}  // namespace Hostlens
