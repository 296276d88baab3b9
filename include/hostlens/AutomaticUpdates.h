#pragma once

#include "platform/win32.h"

namespace Hostlens {

class IAutomaticUpdates {
public:
    virtual ~IAutomaticUpdates() = default;
    virtual bool DetectNow() = 0;
    // The level is written only on success.
    virtual bool GetNotificationLevel(LONG& level) = 0;
    virtual bool SetNotificationLevel(LONG level) = 0;
};

}  // namespace Hostlens
