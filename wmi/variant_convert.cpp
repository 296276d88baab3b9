#include "wmi/variant_convert.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "frame/value_helpers.h"

namespace {

std::string Describe(const char* operation, HRESULT code) {
    char hex[16];
    auto [end, error] = std::to_chars(hex, hex + sizeof hex, static_cast<std::uint32_t>(code), 16);
    return std::string(operation) + " failed with 0x" + std::string(hex, error == std::errc{} ? end : hex);
}

void Check(HRESULT code, const char* operation) {
    if (FAILED(code)) throw SafeArrayError(operation, code);
}

// The copy of an array that the conversion reads; destroyed on every path.
class ArrayCopy {
public:
    explicit ArrayCopy(SAFEARRAY* source) { Check(SafeArrayCopy(source, &array_), "SafeArrayCopy"); }
    ~ArrayCopy() {
        if (array_) SafeArrayDestroy(array_);
    }
    ArrayCopy(const ArrayCopy&) = delete;
    ArrayCopy& operator=(const ArrayCopy&) = delete;
    SAFEARRAY* Get() const { return array_; }

private:
    SAFEARRAY* array_ = nullptr;
};

// Keeps the array's data in place while its elements are read.
class ArrayLock {
public:
    explicit ArrayLock(SAFEARRAY* array) : array_(array) { Check(SafeArrayLock(array), "SafeArrayLock"); }
    ~ArrayLock() { SafeArrayUnlock(array_); }
    ArrayLock(const ArrayLock&) = delete;
    ArrayLock& operator=(const ArrayLock&) = delete;

private:
    SAFEARRAY* array_;
};

// The types VariantToString converts.
bool IsScalar(VARTYPE type) {
    switch (type) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_BSTR:
        case VT_BOOL:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
            return true;
        default:
            return false;
    }
}

// Element size of the array types the list conversion reads; 0 for the others.
std::size_t ElementSize(VARTYPE type) {
    switch (type) {
        case VT_I2:
        case VT_BOOL:
        case VT_UI2:
            return 2;
        case VT_I4:
        case VT_R4:
        case VT_UI4:
            return 4;
        case VT_R8:
        case VT_I8:
        case VT_UI8:
            return 8;
        case VT_BSTR:
            return sizeof(BSTR);
        default:
            return 0;
    }
}

// The type the elements really have: the array's own record of it when it keeps
// one, else what the VARIANT says. The elements must be as large as that type.
VARTYPE StoredType(SAFEARRAY* array, VARTYPE declared) {
    VARTYPE stored = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(array, &stored))) stored = declared;
    std::size_t size = ElementSize(stored);
    if (size != 0 && SafeArrayGetElemsize(array) < size)
        throw SafeArrayError("SafeArrayGetElemsize", E_INVALIDARG);
    return stored;
}

// Converts the elements in index order into `texts`; false when one of them has
// no text.
bool ReadElements(SAFEARRAY* array, VARTYPE declared, std::vector<WString>& texts) {
    LONG lower = 0;
    LONG upper = 0;
    Check(SafeArrayGetLBound(array, 1, &lower), "SafeArrayGetLBound");
    Check(SafeArrayGetUBound(array, 1, &upper), "SafeArrayGetUBound");
    const VARTYPE stored = StoredType(array, declared);
    const std::int64_t count = std::int64_t{upper} - lower + 1;
    ArrayLock lock(array);
    if (count > 0 && !array->pvData) throw SafeArrayError("SafeArrayLock", E_UNEXPECTED);
    const auto* data = static_cast<const unsigned char*>(array->pvData);
    const std::size_t stride = SafeArrayGetElemsize(array);
    for (std::int64_t i = 0; i < count; ++i) {
        const unsigned char* element = data + static_cast<std::size_t>(i) * stride;
        if (declared == VT_BSTR) {
            if (stored != VT_BSTR) return false;
            BSTR text = nullptr;
            std::memcpy(&text, element, sizeof text);
            texts.push_back(text ? WString(text) : WString());
            continue;
        }
        // A VARIANT of the element's type around a copy of its bytes; numbers own nothing.
        VARIANT item;
        VariantInit(&item);
        item.vt = stored;
        std::size_t size = ElementSize(stored);
        if (size == 0 || stored == VT_BSTR) return false;
        std::memcpy(&item.llVal, element, size);
        WString text;
        if (!VariantToString(item, text, false)) return false;
        texts.push_back(std::move(text));
    }
    return true;
}

}  // namespace

SafeArrayError::SafeArrayError(const char* operation, HRESULT code)
    : std::runtime_error(Describe(operation, code)), code_(code) {}

bool VariantToString(const VARIANT& value, WString& out, bool emptyIsFailure) {
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
            if (emptyIsFailure) return false;
            out.clear();
            return true;
        case VT_I2:
            out = NumberToWide(value.iVal);
            return true;
        case VT_I4:
            out = NumberToWide(value.lVal);
            return true;
        case VT_R4:
            out = NumberToWide(static_cast<double>(value.fltVal));
            return true;
        case VT_R8:
            out = NumberToWide(value.dblVal);
            return true;
        case VT_BSTR:
            out = value.bstrVal ? WString(value.bstrVal) : WString();
            return true;
        case VT_BOOL:
            out = static_cast<USHORT>(value.boolVal) == 0xFFFF ? W("true") : W("false");
            return true;
        case VT_UI2:
            out = NumberToWide(static_cast<int>(value.uiVal));
            return true;
        case VT_UI4:
            out = NumberToWide(value.ulVal);
            return true;
        case VT_I8:
            out = NumberToWide(value.llVal);
            return true;
        case VT_UI8:
            out = NumberToWide(value.ullVal);
            return true;
        default:
            return false;
    }
}

bool VariantToStringList(const VARIANT& value, std::vector<WString>& out) {
    if (IsScalar(value.vt)) {
        out.clear();
        WString text;
        if (!VariantToString(value, text, false)) return false;
        out.push_back(std::move(text));
        return true;
    }
    const auto element = static_cast<VARTYPE>(value.vt & ~VT_ARRAY);
    if (!(value.vt & VT_ARRAY) || ElementSize(element) == 0) return false;

    ArrayCopy copy(value.parray);
    std::vector<WString> texts;
    bool converted = ReadElements(copy.Get(), element, texts);
    out.clear();
    if (converted) out = std::move(texts);
    return converted;
}
