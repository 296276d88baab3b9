#pragma once

#include "frame/service_object.h"
#include "hostlens/Software.h"

class CSoftware : public CServiceObject<ISoftware> {
public:
    CSoftware() = default;

    DWORD GetSoftware(std::vector<SoftwareEntry>& entries) override;
};
