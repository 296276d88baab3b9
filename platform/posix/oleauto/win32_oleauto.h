// OLE Automation values: BSTR, VARIANT and SAFEARRAY, laid out as on Windows.
#pragma once

#include "platform/posix/win32_types.h"

using OLECHAR = WCHAR;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;
using VARTYPE = USHORT;
using VARIANT_BOOL = SHORT;
using SCODE = LONG;
using DATE = double;

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

enum VARENUM : unsigned short {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_RECORD = 36,
    VT_INT_PTR = 37,
    VT_UINT_PTR = 38,
    VT_CLSID = 72,
    VT_VECTOR = 0x1000,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_RESERVED = 0x8000,
    VT_TYPEMASK = 0x0FFF,
};

// Automation result codes (winerror.h values).
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005L)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008L)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000AL)
#define DISP_E_BADINDEX ((HRESULT)0x8002000BL)
#define DISP_E_ARRAYISLOCKED ((HRESULT)0x8002000DL)

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};
using LPSAFEARRAYBOUND = SAFEARRAYBOUND*;

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1];
};
using LPSAFEARRAY = SAFEARRAY*;

#define FADF_AUTO 0x0001
#define FADF_STATIC 0x0002
#define FADF_EMBEDDED 0x0004
#define FADF_FIXEDSIZE 0x0010
#define FADF_RECORD 0x0020
#define FADF_HAVEIID 0x0040
#define FADF_HAVEVARTYPE 0x0080
#define FADF_BSTR 0x0100
#define FADF_UNKNOWN 0x0200
#define FADF_DISPATCH 0x0400
#define FADF_VARIANT 0x0800

struct IUnknown;
struct IDispatch;

union CY {
    struct {
        ULONG Lo;
        LONG Hi;
    } s;
    LONGLONG int64;
};

struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        struct {
            PVOID pvRecord;
            PVOID pRecInfo;
        } brecVal;
    };
};
using VARIANT = tagVARIANT;
using VARIANTARG = tagVARIANT;
using LPVARIANT = VARIANT*;

#define V_VT(v) ((v)->vt)
#define V_BSTR(v) ((v)->bstrVal)
#define V_ARRAY(v) ((v)->parray)

HOSTLENS_WIN32_API BSTR WINAPI SysAllocString(const OLECHAR* text);
HOSTLENS_WIN32_API BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length);
HOSTLENS_WIN32_API void WINAPI SysFreeString(BSTR text);
HOSTLENS_WIN32_API UINT WINAPI SysStringLen(BSTR text);
HOSTLENS_WIN32_API UINT WINAPI SysStringByteLen(BSTR text);

HOSTLENS_WIN32_API void WINAPI VariantInit(VARIANTARG* value);
HOSTLENS_WIN32_API HRESULT WINAPI VariantClear(VARIANTARG* value);
HOSTLENS_WIN32_API HRESULT WINAPI VariantCopy(VARIANTARG* destination, const VARIANTARG* source);

HOSTLENS_WIN32_API SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE type, UINT dims, SAFEARRAYBOUND* bounds);
HOSTLENS_WIN32_API SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE type, LONG lowerBound, ULONG elements);
HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* array);
HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** result);
HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound);
HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound);
HOSTLENS_WIN32_API UINT WINAPI SafeArrayGetDim(SAFEARRAY* array);
HOSTLENS_WIN32_API UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* array);
HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* type);
HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayLock(SAFEARRAY* array);
HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayUnlock(SAFEARRAY* array);
HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* array, void** data);
HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* array);
HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value);
HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value);
