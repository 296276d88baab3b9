// The WMI client interfaces, in the vtable order of the Windows headers.
#pragma once

#include "platform/posix/com/win32_com.h"
#include "platform/posix/oleauto/win32_oleauto.h"

using CIMTYPE = LONG;

enum CIMTYPE_ENUMERATION {
    CIM_ILLEGAL = 0xfff,
    CIM_EMPTY = 0,
    CIM_SINT8 = 16,
    CIM_UINT8 = 17,
    CIM_SINT16 = 2,
    CIM_UINT16 = 18,
    CIM_SINT32 = 3,
    CIM_UINT32 = 19,
    CIM_SINT64 = 20,
    CIM_UINT64 = 21,
    CIM_REAL32 = 4,
    CIM_REAL64 = 5,
    CIM_BOOLEAN = 11,
    CIM_STRING = 8,
    CIM_DATETIME = 101,
    CIM_REFERENCE = 102,
    CIM_CHAR16 = 103,
    CIM_OBJECT = 13,
    CIM_FLAG_ARRAY = 0x2000,
};

enum WBEM_GENERIC_FLAG_TYPE {
    WBEM_FLAG_RETURN_IMMEDIATELY = 0x10,
    WBEM_FLAG_RETURN_WBEM_COMPLETE = 0,
    WBEM_FLAG_BIDIRECTIONAL = 0,
    WBEM_FLAG_FORWARD_ONLY = 0x20,
};

enum WBEM_TIMEOUT_TYPE { WBEM_NO_WAIT = 0, WBEM_INFINITE = 0xffffffff };

#define WBEM_S_NO_ERROR 0
#define WBEM_S_FALSE 1
#define WBEM_S_TIMEDOUT 0x40004
#define WBEM_E_FAILED ((HRESULT)0x80041001L)
#define WBEM_E_NOT_FOUND ((HRESULT)0x80041002L)
#define WBEM_E_ACCESS_DENIED ((HRESULT)0x80041003L)
#define WBEM_E_OUT_OF_MEMORY ((HRESULT)0x80041006L)
#define WBEM_E_INVALID_PARAMETER ((HRESULT)0x80041008L)
#define WBEM_E_INVALID_NAMESPACE ((HRESULT)0x8004100EL)
#define WBEM_E_INVALID_CLASS ((HRESULT)0x80041010L)
#define WBEM_E_INVALID_QUERY ((HRESULT)0x80041017L)
#define WBEM_E_INVALID_QUERY_TYPE ((HRESULT)0x80041018L)
#define WBEM_E_SHUTTING_DOWN ((HRESULT)0x80041033L)

struct IWbemContext;
struct IWbemCallResult;
struct IWbemObjectSink;
struct IWbemQualifierSet;
struct IWbemClassObject;

struct IWbemClassObject : IUnknown {
    STDMETHOD(GetQualifierSet)(IWbemQualifierSet** qualifiers) = 0;
    STDMETHOD(Get)(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type, LONG* flavor) = 0;
    STDMETHOD(Put)(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE type) = 0;
    STDMETHOD(Delete)(LPCWSTR name) = 0;
    STDMETHOD(GetNames)(LPCWSTR qualifierName, LONG flags, VARIANT* qualifierValue, SAFEARRAY** names) = 0;
    STDMETHOD(BeginEnumeration)(LONG enumFlags) = 0;
    STDMETHOD(Next)(LONG flags, BSTR* name, VARIANT* value, CIMTYPE* type, LONG* flavor) = 0;
    STDMETHOD(EndEnumeration)() = 0;
    STDMETHOD(GetPropertyQualifierSet)(LPCWSTR property, IWbemQualifierSet** qualifiers) = 0;
    STDMETHOD(Clone)(IWbemClassObject** copy) = 0;
    STDMETHOD(GetObjectText)(LONG flags, BSTR* objectText) = 0;
    STDMETHOD(SpawnDerivedClass)(LONG flags, IWbemClassObject** newClass) = 0;
    STDMETHOD(SpawnInstance)(LONG flags, IWbemClassObject** newInstance) = 0;
    STDMETHOD(CompareTo)(LONG flags, IWbemClassObject* compareTo) = 0;
    STDMETHOD(GetPropertyOrigin)(LPCWSTR name, BSTR* className) = 0;
    STDMETHOD(InheritsFrom)(LPCWSTR ancestor) = 0;
    STDMETHOD(GetMethod)
    (LPCWSTR name, LONG flags, IWbemClassObject** inSignature, IWbemClassObject** outSignature) = 0;
    STDMETHOD(PutMethod)
    (LPCWSTR name, LONG flags, IWbemClassObject* inSignature, IWbemClassObject* outSignature) = 0;
    STDMETHOD(DeleteMethod)(LPCWSTR name) = 0;
    STDMETHOD(BeginMethodEnumeration)(LONG enumFlags) = 0;
    STDMETHOD(NextMethod)
    (LONG flags, BSTR* name, IWbemClassObject** inSignature, IWbemClassObject** outSignature) = 0;
    STDMETHOD(EndMethodEnumeration)() = 0;
    STDMETHOD(GetMethodQualifierSet)(LPCWSTR method, IWbemQualifierSet** qualifiers) = 0;
    STDMETHOD(GetMethodOrigin)(LPCWSTR methodName, BSTR* className) = 0;

protected:
    ~IWbemClassObject() = default;
};

struct IEnumWbemClassObject : IUnknown {
    STDMETHOD(Reset)() = 0;
    STDMETHOD(Next)(LONG timeout, ULONG count, IWbemClassObject** objects, ULONG* returned) = 0;
    STDMETHOD(NextAsync)(ULONG count, IWbemObjectSink* sink) = 0;
    STDMETHOD(Clone)(IEnumWbemClassObject** enumerator) = 0;
    STDMETHOD(Skip)(LONG timeout, ULONG count) = 0;

protected:
    ~IEnumWbemClassObject() = default;
};

struct IWbemServices : IUnknown {
    STDMETHOD(OpenNamespace)
    (const BSTR nameSpace, LONG flags, IWbemContext* context, IWbemServices** workingNamespace,
     IWbemCallResult** result) = 0;
    STDMETHOD(CancelAsyncCall)(IWbemObjectSink* sink) = 0;
    STDMETHOD(QueryObjectSink)(LONG flags, IWbemObjectSink** responseHandler) = 0;
    STDMETHOD(GetObject)
    (const BSTR objectPath, LONG flags, IWbemContext* context, IWbemClassObject** object,
     IWbemCallResult** result) = 0;
    STDMETHOD(GetObjectAsync)
    (const BSTR objectPath, LONG flags, IWbemContext* context, IWbemObjectSink* responseHandler) = 0;
    STDMETHOD(PutClass)
    (IWbemClassObject* object, LONG flags, IWbemContext* context, IWbemCallResult** result) = 0;
    STDMETHOD(PutClassAsync)
    (IWbemClassObject* object, LONG flags, IWbemContext* context, IWbemObjectSink* responseHandler) = 0;
    STDMETHOD(DeleteClass)
    (const BSTR className, LONG flags, IWbemContext* context, IWbemCallResult** result) = 0;
    STDMETHOD(DeleteClassAsync)
    (const BSTR className, LONG flags, IWbemContext* context, IWbemObjectSink* responseHandler) = 0;
    STDMETHOD(CreateClassEnum)
    (const BSTR superclass, LONG flags, IWbemContext* context, IEnumWbemClassObject** enumerator) = 0;
    STDMETHOD(CreateClassEnumAsync)
    (const BSTR superclass, LONG flags, IWbemContext* context, IWbemObjectSink* responseHandler) = 0;
    STDMETHOD(PutInstance)
    (IWbemClassObject* instance, LONG flags, IWbemContext* context, IWbemCallResult** result) = 0;
    STDMETHOD(PutInstanceAsync)
    (IWbemClassObject* instance, LONG flags, IWbemContext* context, IWbemObjectSink* responseHandler) = 0;
    STDMETHOD(DeleteInstance)
    (const BSTR objectPath, LONG flags, IWbemContext* context, IWbemCallResult** result) = 0;
    STDMETHOD(DeleteInstanceAsync)
    (const BSTR objectPath, LONG flags, IWbemContext* context, IWbemObjectSink* responseHandler) = 0;
    STDMETHOD(CreateInstanceEnum)
    (const BSTR filter, LONG flags, IWbemContext* context, IEnumWbemClassObject** enumerator) = 0;
    STDMETHOD(CreateInstanceEnumAsync)
    (const BSTR filter, LONG flags, IWbemContext* context, IWbemObjectSink* responseHandler) = 0;
    STDMETHOD(ExecQuery)
    (const BSTR queryLanguage, const BSTR query, LONG flags, IWbemContext* context,
     IEnumWbemClassObject** enumerator) = 0;
    STDMETHOD(ExecQueryAsync)
    (const BSTR queryLanguage, const BSTR query, LONG flags, IWbemContext* context,
     IWbemObjectSink* responseHandler) = 0;
    STDMETHOD(ExecNotificationQuery)
    (const BSTR queryLanguage, const BSTR query, LONG flags, IWbemContext* context,
     IEnumWbemClassObject** enumerator) = 0;
    STDMETHOD(ExecNotificationQueryAsync)
    (const BSTR queryLanguage, const BSTR query, LONG flags, IWbemContext* context,
     IWbemObjectSink* responseHandler) = 0;
    STDMETHOD(ExecMethod)
    (const BSTR objectPath, const BSTR methodName, LONG flags, IWbemContext* context,
     IWbemClassObject* inParams, IWbemClassObject** outParams, IWbemCallResult** callResult) = 0;
    STDMETHOD(ExecMethodAsync)
    (const BSTR objectPath, const BSTR methodName, LONG flags, IWbemContext* context,
     IWbemClassObject* inParams, IWbemObjectSink* responseHandler) = 0;

protected:
    ~IWbemServices() = default;
};

struct IWbemLocator : IUnknown {
    STDMETHOD(ConnectServer)
    (const BSTR networkResource, const BSTR user, const BSTR password, const BSTR locale, LONG securityFlags,
     const BSTR authority, IWbemContext* context, IWbemServices** nameSpace) = 0;

protected:
    ~IWbemLocator() = default;
};

HOSTLENS_WIN32_API const CLSID CLSID_WbemLocator;
HOSTLENS_WIN32_API const IID IID_IWbemLocator;
HOSTLENS_WIN32_API const IID IID_IWbemServices;
HOSTLENS_WIN32_API const IID IID_IEnumWbemClassObject;
HOSTLENS_WIN32_API const IID IID_IWbemClassObject;
