// Version tests and the edition, answered from the machine's facts.
//
// VerifyVersionInfoW compares the fields of the type mask with the machine:
// - major version, minor version, service-pack major and minor form one number
//   compared level by level: the first level (of those named) where the machine
//   differs decides by its own condition, so that 11.0 passes "major >= 10, minor >
//   0"; when every named level is equal, the last one's condition decides (equal,
//   greater-or-equal and less-or-equal pass).
// - build number, platform id and product type are compared on their own;
// - the suite passes with VER_AND when the machine has every bit asked for, with
//   VER_OR when it has any (or none was asked for).
// Every condition is checked before anything is compared: a zero type or condition
// mask, a field without a condition, a suite condition on a number or a number's
// condition on the suite is ERROR_BAD_ARGUMENTS. (Windows checks a field's condition
// when it reaches that field; the result of a call that is both unmet and malformed
// is left undefined here.)
#include <array>

#include "platform/posix/machine/machine.h"
#include "platform/posix/sysinfo/win32_sysinfo.h"
#include "platform/posix/win32_base.h"

namespace {

using hostlens::sim::MachineFacts;
namespace detail = hostlens::sim::detail;

// Each field's condition sits in three bits at the position of its type-mask bit.
int BitIndex(DWORD field) {
    int index = 0;
    while ((field >>= 1) != 0) ++index;
    return index;
}

BYTE ConditionOf(DWORDLONG conditionMask, DWORD field) {
    return static_cast<BYTE>((conditionMask >> (3 * BitIndex(field))) & 0x07);
}

bool IsNumberCondition(BYTE condition) {
    return condition >= VER_EQUAL && condition <= VER_LESS_EQUAL;
}

bool Compare(DWORD machine, DWORD wanted, BYTE condition) {
    switch (condition) {
        case VER_EQUAL:
            return machine == wanted;
        case VER_GREATER:
            return machine > wanted;
        case VER_GREATER_EQUAL:
            return machine >= wanted;
        case VER_LESS:
            return machine < wanted;
        case VER_LESS_EQUAL:
            return machine <= wanted;
    }
    return false;
}

}  // namespace

HOSTLENS_WIN32_API ULONGLONG WINAPI VerSetConditionMask(ULONGLONG conditionMask, DWORD typeMask,
                                                        BYTE condition) {
    // Windows cannot fail here; an injected fault answers as a zero condition does.
    if (detail::Fault("VerSetConditionMask")) return conditionMask;
    condition &= 0x07;
    if (typeMask == 0 || condition == 0) return conditionMask;
    constexpr std::array<DWORD, 8> kOrder = {VER_PRODUCT_TYPE,     VER_SUITENAME,   VER_SERVICEPACKMAJOR,
                                             VER_SERVICEPACKMINOR, VER_PLATFORMID,  VER_BUILDNUMBER,
                                             VER_MAJORVERSION,     VER_MINORVERSION};
    for (DWORD field : kOrder)
        if (typeMask & field) return conditionMask | (ULONGLONG{condition} << (3 * BitIndex(field)));
    return conditionMask;  // no field this function knows
}

HOSTLENS_WIN32_API BOOL WINAPI VerifyVersionInfoW(LPOSVERSIONINFOEXW info, DWORD typeMask,
                                                  DWORDLONG conditionMask) {
    if (auto fault = detail::Fault("VerifyVersionInfoW")) {
        SetLastError(*fault);
        return FALSE;
    }
    constexpr DWORD kNumbers = VER_MINORVERSION | VER_MAJORVERSION | VER_BUILDNUMBER | VER_PLATFORMID |
                               VER_SERVICEPACKMINOR | VER_SERVICEPACKMAJOR | VER_PRODUCT_TYPE;
    bool valid = info != nullptr && typeMask != 0 && conditionMask != 0;
    for (DWORD field = 1; valid && field <= VER_PRODUCT_TYPE; field <<= 1) {
        if (!(typeMask & field)) continue;
        BYTE condition = ConditionOf(conditionMask, field);
        valid =
            (field & kNumbers) ? IsNumberCondition(condition) : condition == VER_AND || condition == VER_OR;
    }
    if (!valid) {
        SetLastError(ERROR_BAD_ARGUMENTS);
        return FALSE;
    }

    const hostlens::sim::OsFacts& os = MachineFacts().os;
    bool met = true;
    auto single = [&](DWORD field, DWORD machine, DWORD wanted) {
        if (typeMask & field) met = met && Compare(machine, wanted, ConditionOf(conditionMask, field));
    };
    single(VER_BUILDNUMBER, os.build, info->dwBuildNumber);
    single(VER_PLATFORMID, os.platformId, info->dwPlatformId);
    single(VER_PRODUCT_TYPE, os.productType, info->wProductType);
    if (typeMask & VER_SUITENAME) {
        const WORD has = os.suiteMask & info->wSuiteMask;
        met =
            met && (ConditionOf(conditionMask, VER_SUITENAME) == VER_AND ? has == info->wSuiteMask
                                                                         : has != 0 || info->wSuiteMask == 0);
    }

    struct Level {
        DWORD field;
        DWORD machine;
        DWORD wanted;
    };
    const Level levels[] = {{VER_MAJORVERSION, os.major, info->dwMajorVersion},
                            {VER_MINORVERSION, os.minor, info->dwMinorVersion},
                            {VER_SERVICEPACKMAJOR, os.servicePackMajor, info->wServicePackMajor},
                            {VER_SERVICEPACKMINOR, os.servicePackMinor, info->wServicePackMinor}};
    bool levelMet = true;
    for (const Level& level : levels) {
        if (!(typeMask & level.field)) continue;
        levelMet = Compare(level.machine, level.wanted, ConditionOf(conditionMask, level.field));
        if (level.machine != level.wanted) break;
    }
    if (met && levelMet) return TRUE;
    SetLastError(ERROR_OLD_WIN_VERSION);
    return FALSE;
}

HOSTLENS_WIN32_API BOOL WINAPI GetProductInfo(DWORD osMajorVersion, DWORD osMinorVersion,
                                              DWORD spMajorVersion, DWORD spMinorVersion,
                                              PDWORD productType) {
    if (auto fault = detail::Fault("GetProductInfo")) {
        SetLastError(*fault);
        return FALSE;
    }
    if (productType == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Versions before Vista had no editions to map to: FALSE and PRODUCT_UNDEFINED, the
    // last error untouched (measured with Wine 8.0; any later version is answered alike).
    if (osMajorVersion < 6) {
        *productType = 0;
        return FALSE;
    }
    *productType = MachineFacts().os.productInfo;
    return TRUE;
}
