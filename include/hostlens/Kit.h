// The agent's configuration library (Kitbridge.dll), as far as the service library
// calls it: settings are read by 32-bit identifier as wide strings the library owns.
// Slot 0 of each interface is the object's destructor inside that library, never
// called through these interfaces; it is one plain slot so that the operations keep
// their slots with every compiler (GCC's C++ ABI gives a virtual destructor two).
#pragma once

#include "platform/win32.h"

class IKitString {
public:
    virtual ~IKitString() = default;
    virtual const WCHAR* Chars() const = 0;
    virtual DWORD Length() const = 0;  // in characters
};

class IKitSettings {
public:
    virtual void ReservedSlot0() = 0;
    virtual DWORD Reload() = 0;
    virtual DWORD GetValue(DWORD reserved, DWORD id, IKitString** value) = 0;
    virtual DWORD GetDword(DWORD reserved, DWORD id, DWORD* value) = 0;
    virtual DWORD SetValue(DWORD reserved, DWORD id, const WCHAR* value) = 0;
    virtual DWORD SetDword(DWORD reserved, DWORD id, DWORD value) = 0;
    virtual DWORD DeleteValue(DWORD reserved, DWORD id) = 0;
    virtual DWORD Save() = 0;
    virtual DWORD GetCount(DWORD* count) = 0;
    virtual DWORD GetIdAt(DWORD index, DWORD* id) = 0;
    virtual DWORD GetType(DWORD id, DWORD* type) = 0;
    virtual DWORD Lock() = 0;
    virtual DWORD Unlock() = 0;
    virtual void FreeValue(IKitString** value) = 0;

protected:
    ~IKitSettings() = default;
};

class IKit {
public:
    virtual void ReservedSlot0() = 0;
    virtual IKitSettings* GetSettings() = 0;
    virtual void ReleaseSettings(IKitSettings** settings) = 0;

protected:
    ~IKit() = default;
};

extern "C" {
using GetIKitFn = IKit* (*)();
using FreeIKitFn = void (*)(IKit** kit);
}
