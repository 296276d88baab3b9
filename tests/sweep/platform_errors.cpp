#include "platform_errors.h"

#include <array>
#include <cstdio>
#include <string>
#include <utility>

#include "platform/win32.h"

namespace hostlens::sweep {
namespace {

constexpr auto E(HRESULT hr) {
    return static_cast<std::uint32_t>(hr);
}

struct Family {
    std::vector<std::string_view> functions;
    PlatformErrors errors;
};

const std::vector<Family>& Families() {
    static const std::vector<Family> families = {
        // Registry: a key the process may not read, a value or key that is gone, and a
        // buffer that turned out too small (the value grew between the size query and
        // the read).
        {{"RegOpenKeyExW", "RegCreateKeyExW", "RegSetValueExW", "RegDeleteTreeW", "RegOpenCurrentUser"},
         {"registry", {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND}}},
        {{"RegQueryValueExW", "RegEnumValueW", "RegEnumKeyExW", "RegQueryInfoKeyW"},
         {"registry reads", {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA}}},
        {{"RegCloseKey"}, {"registry", {}}},
        // COM runtime.
        {{"CoInitializeEx"}, {"COM", {E(E_OUTOFMEMORY), E(E_UNEXPECTED), E(RPC_E_CHANGED_MODE)}}},
        {{"CoCreateInstance"}, {"COM", {E(E_OUTOFMEMORY), E(REGDB_E_CLASSNOTREG), E(E_NOINTERFACE)}}},
        {{"CoSetProxyBlanket"}, {"COM", {E(E_OUTOFMEMORY), E(E_INVALIDARG), E(RPC_E_DISCONNECTED)}}},
        {{"CoUninitialize"}, {"COM", {}}},
        // WMI objects: out of memory, WMI's general failure, the server process gone,
        // and WMI stopping.
        {{"IWbemLocator::ConnectServer", "IWbemServices::ExecQuery", "IEnumWbemClassObject::Next",
          "IWbemClassObject::Get", "IWbemClassObject::GetNames"},
         {"WMI", {E(E_OUTOFMEMORY), E(WBEM_E_FAILED), E(RPC_E_DISCONNECTED), E(WBEM_E_SHUTTING_DOWN)}}},
        // The query engine running out of memory while it builds the result set.
        {{"IWbemServices::ExecQuery.Allocate"}, {"WMI allocation", {E(E_OUTOFMEMORY)}}},
        // OLE Automation: allocations fail as Windows reports them, with a null result.
        {{"SysAllocString", "SysAllocStringLen", "SafeArrayCreate", "SafeArrayCreateVector"},
         {"allocation", {E(E_OUTOFMEMORY)}}},
        {{"SafeArrayGetLBound", "SafeArrayGetUBound", "SafeArrayGetElement", "SafeArrayPutElement"},
         {"SAFEARRAY", {E(DISP_E_BADINDEX), E(E_OUTOFMEMORY)}}},
        {{"SafeArrayLock", "SafeArrayAccessData"}, {"SAFEARRAY", {E(E_UNEXPECTED)}}},
        {{"SafeArrayGetVartype"}, {"SAFEARRAY", {E(E_INVALIDARG)}}},
        {{"SafeArrayCopy", "VariantCopy"}, {"OLE Automation", {E(E_OUTOFMEMORY)}}},
        // Modules.
        {{"LoadLibraryW", "LoadLibraryExW"}, {"modules", {ERROR_MOD_NOT_FOUND, ERROR_ACCESS_DENIED}}},
        {{"GetProcAddress"}, {"modules", {ERROR_PROC_NOT_FOUND}}},
        {{"GetModuleHandleW"}, {"modules", {ERROR_MOD_NOT_FOUND}}},
        {{"FreeLibrary", "DisableThreadLibraryCalls"}, {"modules", {}}},
        // Event tracing: a full buffer, a session that went away.
        {{"TraceMessage", "TraceMessageVa", "TraceEvent"},
         {"trace", {ERROR_NOT_ENOUGH_MEMORY, ERROR_INVALID_HANDLE}}},
        {{"GetTraceLoggerHandle", "GetTraceEnableLevel", "GetTraceEnableFlags"},
         {"trace", {ERROR_INVALID_HANDLE}}},
        {{"RegisterTraceGuidsW", "UnregisterTraceGuids"}, {"trace", {}}},
        // Text conversion.
        {{"MultiByteToWideChar", "WideCharToMultiByte"},
         {"NLS", {ERROR_NO_UNICODE_TRANSLATION, ERROR_INSUFFICIENT_BUFFER}}},
        // Time.
        {{"SystemTimeToFileTime", "FileTimeToSystemTime", "TzSpecificLocalTimeToSystemTime"},
         {"time", {ERROR_INVALID_PARAMETER}}},
        // The computer's names and folders.
        {{"GetComputerNameExW"}, {"names", {ERROR_MORE_DATA, ERROR_INVALID_PARAMETER}}},
        {{"GetWindowsDirectoryW"}, {"names", {ERROR_NOT_ENOUGH_MEMORY}}},
        // Power.
        {{"GetSystemPowerStatus"}, {"power", {ERROR_NOT_SUPPORTED}}},
        // Version and system information: a version test the machine does not meet; an
        // edition or WOW64 query refused; a metric that answers 0 (it sets no error).
        // Building a condition mask and the (void) system information never fail.
        {{"VerifyVersionInfoW"}, {"version", {ERROR_OLD_WIN_VERSION}}},
        {{"VerSetConditionMask", "GetSystemInfo", "GetNativeSystemInfo"}, {"version", {}}},
        {{"GetProductInfo", "GetSystemMetrics"}, {"system information", {ERROR_INVALID_PARAMETER}}},
        {{"IsWow64Process2"}, {"system information", {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE}}},
    };
    return families;
}

}  // namespace

const PlatformErrors* ErrorsFor(std::string_view function) {
    for (const Family& family : Families())
        for (std::string_view name : family.functions)
            if (name == function) return &family.errors;
    return nullptr;
}

std::string_view ErrorName(std::uint32_t error) {
    static const std::pair<std::uint32_t, const char*> names[] = {
        {0, "0"},
        {ERROR_FILE_NOT_FOUND, "ERROR_FILE_NOT_FOUND"},
        {ERROR_ACCESS_DENIED, "ERROR_ACCESS_DENIED"},
        {ERROR_INVALID_HANDLE, "ERROR_INVALID_HANDLE"},
        {ERROR_NOT_ENOUGH_MEMORY, "ERROR_NOT_ENOUGH_MEMORY"},
        {ERROR_NOT_SUPPORTED, "ERROR_NOT_SUPPORTED"},
        {ERROR_INVALID_PARAMETER, "ERROR_INVALID_PARAMETER"},
        {ERROR_CALL_NOT_IMPLEMENTED, "ERROR_CALL_NOT_IMPLEMENTED"},
        {ERROR_INSUFFICIENT_BUFFER, "ERROR_INSUFFICIENT_BUFFER"},
        {ERROR_MOD_NOT_FOUND, "ERROR_MOD_NOT_FOUND"},
        {ERROR_PROC_NOT_FOUND, "ERROR_PROC_NOT_FOUND"},
        {ERROR_NO_DATA, "ERROR_NO_DATA"},
        {ERROR_MORE_DATA, "ERROR_MORE_DATA"},
        {ERROR_NO_UNICODE_TRANSLATION, "ERROR_NO_UNICODE_TRANSLATION"},
        {ERROR_BAD_ARGUMENTS, "ERROR_BAD_ARGUMENTS"},
        {ERROR_OLD_WIN_VERSION, "ERROR_OLD_WIN_VERSION"},
        {ERROR_NOT_FOUND, "ERROR_NOT_FOUND"},
        {ERROR_INVALID_STATE, "ERROR_INVALID_STATE"},
        {E(E_UNEXPECTED), "E_UNEXPECTED"},
        {E(E_OUTOFMEMORY), "E_OUTOFMEMORY"},
        {E(E_INVALIDARG), "E_INVALIDARG"},
        {E(E_NOINTERFACE), "E_NOINTERFACE"},
        {E(RPC_E_CHANGED_MODE), "RPC_E_CHANGED_MODE"},
        {E(RPC_E_DISCONNECTED), "RPC_E_DISCONNECTED"},
        {E(REGDB_E_CLASSNOTREG), "REGDB_E_CLASSNOTREG"},
        {E(DISP_E_BADINDEX), "DISP_E_BADINDEX"},
        {E(WBEM_E_FAILED), "WBEM_E_FAILED"},
        {E(WBEM_E_NOT_FOUND), "WBEM_E_NOT_FOUND"},
        {E(WBEM_E_OUT_OF_MEMORY), "WBEM_E_OUT_OF_MEMORY"},
        {E(WBEM_E_INVALID_NAMESPACE), "WBEM_E_INVALID_NAMESPACE"},
        {E(WBEM_E_SHUTTING_DOWN), "WBEM_E_SHUTTING_DOWN"},
    };
    for (const auto& [value, name] : names)
        if (value == error) return name;
    thread_local char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", error);
    return hex;
}

}  // namespace hostlens::sweep
