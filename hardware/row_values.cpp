#include "hardware/row_values.h"

#include "frame/trace.h"
#include "wmi/variant_convert.h"

HL_TRACE_MODULE("hardware/row_values")

namespace hostlens::hardware {
namespace {

const VARIANT* Find(const WmiRow& row, const WCHAR* name) {
    auto it = row.find(name);
    return it == row.end() ? nullptr : &it->second.Get();
}

}  // namespace

void ReadText(const WmiRow& row, const WCHAR* name, WString& field) {
    const VARIANT* value = Find(row, name);
    if (value != nullptr && !VariantToString(*value, field, false)) TRACE_ERROR(name, value->vt);
}

void ReadTextList(const WmiRow& row, const WCHAR* name, std::vector<WString>& field) {
    const VARIANT* value = Find(row, name);
    if (value == nullptr) return;
    try {
        if (VariantToStringList(*value, field)) return;
        TRACE_ERROR(name, value->vt);
    } catch (const SafeArrayError& error) {
        TRACE_ERROR(name, value->vt, error.Code());
    }
}

bool ReadInteger(const WmiRow& row, const WCHAR* name, std::uint64_t& bits) {
    const VARIANT* value = Find(row, name);
    if (value == nullptr) return false;
    switch (value->vt) {
        case VT_I1:
            bits = static_cast<std::uint8_t>(value->cVal);
            return true;
        case VT_UI1:
            bits = value->bVal;
            return true;
        case VT_I2:
            bits = static_cast<std::uint16_t>(value->iVal);
            return true;
        case VT_UI2:
            bits = value->uiVal;
            return true;
        case VT_I4:
            bits = static_cast<std::uint32_t>(value->lVal);
            return true;
        case VT_UI4:
            bits = value->ulVal;
            return true;
        case VT_INT:
            bits = static_cast<std::uint32_t>(value->intVal);
            return true;
        case VT_UINT:
            bits = value->uintVal;
            return true;
        case VT_I8:
            bits = static_cast<std::uint64_t>(value->llVal);
            return true;
        case VT_UI8:
            bits = value->ullVal;
            return true;
        default:
            TRACE_ERROR(name, value->vt);
            return false;
    }
}

bool ReadBoolean(const WmiRow& row, const WCHAR* name, VARIANT_BOOL& bits) {
    const VARIANT* value = Find(row, name);
    if (value == nullptr) return false;
    if (value->vt != VT_BOOL) {
        TRACE_ERROR(name, value->vt);
        return false;
    }
    bits = value->boolVal;
    return true;
}

}  // namespace hostlens::hardware
