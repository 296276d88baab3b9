#pragma once

#include "frame/service_object.h"
#include "hostlens/AutomaticUpdates.h"

namespace Hostlens {

class CAutomaticUpdates : public CLoggingServiceObject<IAutomaticUpdates> {
public:
    explicit CAutomaticUpdates(ILogbridge* logger) : CLoggingServiceObject(logger) {}

    bool DetectNow() override;
    bool GetNotificationLevel(LONG& level) override;
    bool SetNotificationLevel(LONG level) override;
};

}  // namespace Hostlens
