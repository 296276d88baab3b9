#include "tools/hostlens/variant_json.h"

#include "tools/hostlens/text.h"

namespace hostlens::cli {

namespace {

// A VARIANT this code owns: an array element copied out by SafeArrayGetElement (a BSTR
// or VARIANT element is a copy that must be freed).
class OwnedVariant {
public:
    OwnedVariant() { VariantInit(&value_); }
    ~OwnedVariant() { VariantClear(&value_); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    VARIANT& Get() { return value_; }

private:
    VARIANT value_;
};

// Anything WMI does not deliver as a property value: its type code, so that a reader
// sees what was there.
Json Unsupported(VARTYPE type) {
    return Json{{"vt", type}};
}

Json ScalarToJson(const VARIANT& value) {
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return nullptr;
        case VT_I1:
            return static_cast<signed char>(value.cVal);
        case VT_UI1:
            return value.bVal;
        case VT_I2:
            return value.iVal;
        case VT_UI2:
            return value.uiVal;
        case VT_I4:
            return value.lVal;
        case VT_UI4:
            return value.ulVal;
        case VT_INT:
            return value.intVal;
        case VT_UINT:
            return value.uintVal;
        case VT_I8:
            return value.llVal;
        case VT_UI8:
            return value.ullVal;
        case VT_R4:
            return value.fltVal;
        case VT_R8:
            return value.dblVal;
        case VT_BOOL:
            return value.boolVal != VARIANT_FALSE;
        case VT_BSTR:
            // A null BSTR is the empty string.
            return value.bstrVal == nullptr ? std::string()
                                            : Utf8(value.bstrVal, SysStringLen(value.bstrVal));
        default:
            return Unsupported(value.vt);
    }
}

Json ArrayToJson(const VARIANT& value) {
    SAFEARRAY* array = value.parray;
    VARTYPE elementType = static_cast<VARTYPE>(value.vt & ~VT_ARRAY);
    // WMI arrays are one-dimensional.
    if (array == nullptr || SafeArrayGetDim(array) != 1) return Unsupported(value.vt);
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper))) {
        return Unsupported(value.vt);
    }
    Json list = Json::array();
    for (LONG index = lower; index <= upper; ++index) {
        OwnedVariant element;
        HRESULT hr;
        if (elementType == VT_VARIANT) {
            hr = SafeArrayGetElement(array, &index, &element.Get());
        } else {
            // Every member of the value union starts at the same address.
            hr = SafeArrayGetElement(array, &index, &element.Get().llVal);
            if (SUCCEEDED(hr)) element.Get().vt = elementType;
        }
        list.push_back(SUCCEEDED(hr) ? VariantToJson(element.Get()) : Json(nullptr));
    }
    return list;
}

}  // namespace

Json VariantToJson(const VARIANT& value) {
    if ((value.vt & VT_ARRAY) != 0) return ArrayToJson(value);
    return ScalarToJson(value);
}

Json RowToJson(const WmiRow& row) {
    Json object = Json::object();
    for (const auto& [name, value] : row) object[Utf8(name)] = VariantToJson(value.Get());
    return object;
}

}  // namespace hostlens::cli
