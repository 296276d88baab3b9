#pragma once

#include "platform/win32.h"

struct ProxySettings {
    bool ProxyEnable;
    WCHAR ProxyServer[260];
    WCHAR ProxyOverride[1040];
    WCHAR ProxyValue9012[260];
    WCHAR ProxyValue9013[260];
};

class IProxyInfo {
public:
    virtual ~IProxyInfo() = default;
    // Refreshes the cached settings when they are older than maxAgeSeconds.
    virtual DWORD GetProxyInfo(ProxySettings* settings, DWORD maxAgeSeconds) = 0;
};
