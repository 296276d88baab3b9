#include "exchange/exchange.h"

// Not built yet: the agent is told so by the result code.
DWORD CExchange::GetExchangeInfo(ExchangeInfo& /*info*/) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}
