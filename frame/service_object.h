// The reference-counted base of every service object: the service interface first,
// IRefCounter second, then the interlocked count.
#pragma once

#include "hostlens/Logbridge.h"
#include "hostlens/RefCounter.h"

template <class Interface>
class CServiceObject : public Interface, public IRefCounter {
public:
    CServiceObject(const CServiceObject&) = delete;
    CServiceObject& operator=(const CServiceObject&) = delete;

    LONG AddRef() override { return InterlockedIncrement(&refCount_); }
    LONG Release() override {
        LONG count = InterlockedDecrement(&refCount_);
        if (count == 0) delete this;
        return count;
    }

protected:
    // The caller of the constructor owns the first reference.
    CServiceObject() { InterlockedIncrement(&refCount_); }
    ~CServiceObject() override = default;

private:
    LONG volatile refCount_ = 0;
};

// A service object that reports to the module's logger.
template <class Interface>
class CLoggingServiceObject : public CServiceObject<Interface> {
protected:
    explicit CLoggingServiceObject(ILogbridge* logger) : logger_(logger) {}
    ILogbridge* logger_;
};
