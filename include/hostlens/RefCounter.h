// The reference-counting base that every service object carries second, after its
// service interface.
#pragma once

#include "platform/win32.h"

class IRefCounter {
public:
    virtual ~IRefCounter() = default;
    // Both return the new count.
    virtual LONG AddRef() = 0;
    virtual LONG Release() = 0;
};
