#pragma once

#include <vector>

#include "platform/win32.h"

struct ExchangeInfo {
    DWORD ExchangeVersionCode = 0;  // 0 none, 1 to 6
    WString ExchangeVersion;
    std::vector<DWORD> ExchangeServices;  // 1 MSExchangeIS, 2 MSExchangeTransport
    LONG MailboxCount = 0;
};

class IExchange {
public:
    virtual ~IExchange() = default;
    // 0, or ERROR_NOT_FOUND (1168) when no Exchange generation is installed.
    virtual DWORD GetExchangeInfo(ExchangeInfo& info) = 0;
};
