#include "system/proxy_info.h"

// Not built yet: the agent is told so by the result code.
DWORD CProxyInfo::GetProxyInfo(ProxySettings* /*settings*/, DWORD /*maxAgeSeconds*/) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}
