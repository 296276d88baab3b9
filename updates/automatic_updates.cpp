#include "updates/automatic_updates.h"

namespace Hostlens {

// Not built yet: every operation reports failure.
bool CAutomaticUpdates::DetectNow() {
    return false;
}

bool CAutomaticUpdates::GetNotificationLevel(LONG& /*level*/) {
    return false;
}

bool CAutomaticUpdates::SetNotificationLevel(LONG /*level*/) {
    return false;
}

}  // namespace Hostlens
