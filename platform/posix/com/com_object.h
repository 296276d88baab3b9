// Base of the layer's COM objects: the reference count, QueryInterface over the
// interfaces the object implements, and the machine's count of live COM objects.
#pragma once

#include <atomic>
#include <functional>

#include "platform/posix/machine/machine.h"
#include "platform/posix/com/win32_com.h"

namespace hostlens::sim::detail {

// The IID of each interface the layer implements (specialised where it is defined).
template <class Interface>
const IID& InterfaceId();

template <class Primary, class... Others>
class ComObject : public Primary, public Others... {
public:
    ComObject() { Opened(Resource::ComObject); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown) {
            *object = static_cast<Primary*>(this);
        } else if (!Find<Primary, Others...>(iid, object)) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG count = --count_;
        if (count == 0) delete this;
        return count;
    }

protected:
    virtual ~ComObject() { Closed(Resource::ComObject); }

private:
    template <class I, class... Rest>
    bool Find(REFIID iid, void** object) {
        if (iid == InterfaceId<I>()) {
            *object = static_cast<I*>(this);
            return true;
        }
        if constexpr (sizeof...(Rest) > 0) return Find<Rest...>(iid, object);
        return false;
    }

    std::atomic<ULONG> count_{1};
};

// Creates a new object of a registered class, with one reference, as the interface asked.
using ClassFactory = std::function<HRESULT(REFIID iid, void** object)>;
void RegisterComClass(const CLSID& clsid, ClassFactory factory);

}  // namespace hostlens::sim::detail
