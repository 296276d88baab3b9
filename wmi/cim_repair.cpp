#include "wmi/cim_repair.h"

#include "frame/runtime_numbers.h"

using hostlens::runtime::WideToDouble;
using hostlens::runtime::WideToInt;
using hostlens::runtime::WideToInt64;

void RepairCimType(VARIANT& value, CIMTYPE type) {
    if (value.vt != VT_BSTR) return;
    const WCHAR* text = value.bstrVal;
    VARIANT repaired;
    VariantInit(&repaired);
    switch (type) {
        case CIM_SINT16:
            repaired.vt = VT_I2;
            repaired.iVal = static_cast<SHORT>(WideToInt(text));
            break;
        case CIM_SINT32:
            repaired.vt = VT_I4;
            repaired.lVal = WideToInt(text);
            break;
        case CIM_REAL32:
            repaired.vt = VT_R4;
            repaired.fltVal = static_cast<float>(WideToDouble(text));
            break;
        case CIM_REAL64:
            repaired.vt = VT_R8;
            repaired.dblVal = WideToDouble(text);
            break;
        case CIM_SINT8:
            repaired.vt = VT_I1;
            repaired.cVal = static_cast<CHAR>(WideToInt(text));
            break;
        case CIM_UINT8:
            repaired.vt = VT_UI1;
            repaired.bVal = static_cast<BYTE>(WideToInt(text));
            break;
        case CIM_UINT16:
            repaired.vt = VT_UI2;
            repaired.uiVal = static_cast<USHORT>(WideToInt(text));
            break;
        case CIM_UINT32:
            repaired.vt = VT_UI4;
            repaired.ulVal = static_cast<ULONG>(WideToInt(text));
            break;
        case CIM_SINT64:
            repaired.vt = VT_I8;
            repaired.llVal = WideToInt64(text);
            break;
        case CIM_UINT64:
            repaired.vt = VT_UI8;
            repaired.ullVal = static_cast<ULONGLONG>(WideToInt64(text));
            break;
        default:
            return;
    }
    VariantClear(&value);
    value = repaired;
}
