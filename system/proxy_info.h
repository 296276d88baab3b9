#pragma once

#include "frame/service_object.h"
#include "hostlens/ProxyInfo.h"

class CProxyInfo : public CServiceObject<IProxyInfo> {
public:
    CProxyInfo() = default;

    DWORD GetProxyInfo(ProxySettings* settings, DWORD maxAgeSeconds) override;
};
