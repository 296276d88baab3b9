// Owners of OLE Automation values: a BSTR, a VARIANT and a SAFEARRAY, each freed on
// every path out of its scope.
#pragma once

#include <new>

#include "platform/win32.h"

namespace hostlens {

class Bstr {
public:
    Bstr() = default;
    // Throws std::bad_alloc when the string cannot be allocated.
    explicit Bstr(const WCHAR* text) : text_(SysAllocString(text)) {
        if (text_ == nullptr && text != nullptr) throw std::bad_alloc();
    }
    ~Bstr() { SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR Get() const { return text_; }
    BSTR* Receive() {
        SysFreeString(text_);
        text_ = nullptr;
        return &text_;
    }

private:
    BSTR text_ = nullptr;
};

class Variant {
public:
    Variant() { VariantInit(&value_); }
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT& Get() { return value_; }
    const VARIANT& Get() const { return value_; }
    VARIANT* Ptr() { return &value_; }
    void Clear() { VariantClear(&value_); }

private:
    VARIANT value_;
};

class SafeArray {
public:
    SafeArray() = default;
    explicit SafeArray(SAFEARRAY* array) : array_(array) {}
    ~SafeArray() { Reset(); }
    SafeArray(const SafeArray&) = delete;
    SafeArray& operator=(const SafeArray&) = delete;

    SAFEARRAY* Get() const { return array_; }
    SAFEARRAY** Receive() {
        Reset();
        return &array_;
    }
    void Reset() {
        if (array_ != nullptr) SafeArrayDestroy(array_);
        array_ = nullptr;
    }

private:
    SAFEARRAY* array_ = nullptr;
};

}  // namespace hostlens
