// COM's base interface. Interfaces are abstract classes whose virtual functions sit
// in the order of the Windows declarations, so that the vtable slots match; like
// there, they declare no destructor: objects die through Release.
#pragma once

#include "win32_types.h"

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
using LPUNKNOWN = IUnknown*;
