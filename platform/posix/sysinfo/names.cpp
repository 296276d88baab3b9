// The computer's names and the Windows folder, answered from the machine's facts with
// Windows' buffer protocols: GetComputerNameExW counts in characters and reports the
// size it needs, terminator included, with ERROR_MORE_DATA; GetWindowsDirectoryW
// answers the size it needs instead of the length it copied when the buffer is short.
#include <cstring>
#include <string>

#include "platform/posix/machine/machine.h"
#include "platform/posix/sysinfo/win32_sysinfo.h"
#include "platform/posix/win32_base.h"

namespace {

using hostlens::sim::ComputerNameFacts;
using hostlens::sim::MachineFacts;
namespace detail = hostlens::sim::detail;

const std::u16string* NameOf(const ComputerNameFacts& names, COMPUTER_NAME_FORMAT type) {
    switch (type) {
        case ComputerNameNetBIOS:
            return &names.netbios;
        case ComputerNameDnsHostname:
            return &names.dnsHostname;
        case ComputerNameDnsDomain:
            return &names.dnsDomain;
        case ComputerNameDnsFullyQualified:
            return &names.dnsFullyQualified;
        case ComputerNamePhysicalNetBIOS:
            return &names.physicalNetbios;
        case ComputerNamePhysicalDnsHostname:
            return &names.physicalDnsHostname;
        case ComputerNamePhysicalDnsDomain:
            return &names.physicalDnsDomain;
        case ComputerNamePhysicalDnsFullyQualified:
            return &names.physicalDnsFullyQualified;
        default:
            return nullptr;
    }
}

}  // namespace

HOSTLENS_WIN32_API BOOL WINAPI GetComputerNameExW(COMPUTER_NAME_FORMAT nameType, LPWSTR buffer,
                                                  LPDWORD size) {
    if (auto fault = detail::Fault("GetComputerNameExW")) {
        SetLastError(*fault);
        return FALSE;
    }
    const std::u16string* name = NameOf(MachineFacts().os.computerNames, nameType);
    if (name == nullptr || size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto needed = static_cast<DWORD>(name->size() + 1);
    if (buffer == nullptr || *size < needed) {
        *size = needed;
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    std::memcpy(buffer, name->c_str(), needed * sizeof(WCHAR));
    *size = needed - 1;
    return TRUE;
}

HOSTLENS_WIN32_API UINT WINAPI GetWindowsDirectoryW(LPWSTR buffer, UINT size) {
    if (auto fault = detail::Fault("GetWindowsDirectoryW")) {
        SetLastError(*fault);
        return 0;
    }
    const std::u16string& folder = MachineFacts().windowsDirectory;
    const auto needed = static_cast<UINT>(folder.size() + 1);
    if (buffer == nullptr || size < needed) return needed;
    std::memcpy(buffer, folder.c_str(), needed * sizeof(WCHAR));
    return needed - 1;
}
