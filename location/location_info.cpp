#include "location/location_info.h"

namespace Hostlens {

// Not built yet: the agent is told so by the result code.
DWORD CLocationInfo::GetLocation(LocationInfo& /*info*/) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}

}  // namespace Hostlens
