// The WMI manager: connects to a namespace, runs WQL queries, returns rows.
#pragma once

#include <map>
#include <vector>

#include "platform/win32.h"

// A WQL query descriptor, owned by the caller.
struct WmiQuery {
    const WCHAR* Query = nullptr;  // required
    bool IncludeEmpty = false;     // keep properties whose value is VT_EMPTY or VT_NULL
    // Property names from the front; the first null ends the list (at most 14 names).
    // A null first entry, or "*", asks for every property of each object.
    const WCHAR* Properties[15] = {};
};

// A VARIANT that a row owns: copied with VariantCopy, cleared when destroyed.
class WmiValue {
public:
    WmiValue() { VariantInit(&value_); }
    explicit WmiValue(const VARIANT& value) {
        VariantInit(&value_);
        VariantCopy(&value_, const_cast<VARIANT*>(&value));
    }
    WmiValue(const WmiValue& other) : WmiValue(other.value_) {}
    WmiValue(WmiValue&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
    WmiValue& operator=(WmiValue&& other) noexcept {
        if (this != &other) {
            VariantClear(&value_);
            value_ = other.value_;
            VariantInit(&other.value_);
        }
        return *this;
    }
    // Takes over `value` without copying; `value` is left empty.
    static WmiValue Adopt(VARIANT& value) {
        WmiValue adopted;
        adopted.value_ = value;
        VariantInit(&value);
        return adopted;
    }
    WmiValue& operator=(const WmiValue& other) {
        if (this != &other) {
            VariantClear(&value_);
            VariantCopy(&value_, const_cast<VARIANT*>(&other.value_));
        }
        return *this;
    }
    ~WmiValue() { VariantClear(&value_); }
    const VARIANT& Get() const { return value_; }
    VARIANT& Get() { return value_; }

private:
    VARIANT value_;
};

// One result object: property name to value, ordered by UTF-16 code unit.
using WmiRow = std::map<WString, WmiValue>;
using WmiStringRow = std::map<WString, WString>;

class IWmiMng {
public:
    virtual ~IWmiMng() = default;
    virtual void SetNamespace(const WString& wmiNamespace) = 0;
    virtual DWORD QueryNamespace(const WString& wmiNamespace, const WmiQuery& query,
                                 std::vector<WmiRow>& rows) = 0;
    virtual DWORD QueryNamespaceAsStrings(const WString& wmiNamespace, const WmiQuery& query,
                                          std::vector<WmiStringRow>& rows) = 0;
    virtual DWORD Query(const WmiQuery& query, std::vector<WmiRow>& rows) = 0;
    virtual DWORD QueryAsStrings(const WmiQuery& query, std::vector<WmiStringRow>& rows) = 0;
};
