#pragma once

#include "frame/service_object.h"
#include "hostlens/Exchange.h"

class CExchange : public CLoggingServiceObject<IExchange> {
public:
    explicit CExchange(ILogbridge* logger) : CLoggingServiceObject(logger) {}

    DWORD GetExchangeInfo(ExchangeInfo& info) override;
};
