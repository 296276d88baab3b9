// Version and system information: version tests, the edition, the processor
// architecture of the machine and of the process, WOW64 and system metrics.
//
// The version functions answer with the machine's true version. On Windows (and
// Wine) they answer by the executable's manifest instead: a program that does not
// declare Windows 8.1 or later is told 6.2 on any later Windows. Our test programs
// and the command line declare Windows 10 (cmake/program.manifest), so both answer
// alike on machines up to Windows 11.
#pragma once

#include "platform/posix/win32_types.h"

struct OSVERSIONINFOEXW {
    DWORD dwOSVersionInfoSize;  // sizeof(OSVERSIONINFOEXW): 284
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};
using POSVERSIONINFOEXW = OSVERSIONINFOEXW*;
using LPOSVERSIONINFOEXW = OSVERSIONINFOEXW*;

// The fields a version test compares (type mask bits) ...
#define VER_MINORVERSION 0x0000001
#define VER_MAJORVERSION 0x0000002
#define VER_BUILDNUMBER 0x0000004
#define VER_PLATFORMID 0x0000008
#define VER_SERVICEPACKMINOR 0x0000010
#define VER_SERVICEPACKMAJOR 0x0000020
#define VER_SUITENAME 0x0000040
#define VER_PRODUCT_TYPE 0x0000080
// ... and how (conditions: the first five for numbers, the last two for suites).
#define VER_EQUAL 1
#define VER_GREATER 2
#define VER_GREATER_EQUAL 3
#define VER_LESS 4
#define VER_LESS_EQUAL 5
#define VER_AND 6
#define VER_OR 7

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

#define VER_NT_WORKSTATION 0x0000001
#define VER_NT_DOMAIN_CONTROLLER 0x0000002
#define VER_NT_SERVER 0x0000003

#define VER_SUITE_SMALLBUSINESS 0x00000001
#define VER_SUITE_ENTERPRISE 0x00000002
#define VER_SUITE_BACKOFFICE 0x00000004
#define VER_SUITE_TERMINAL 0x00000010
#define VER_SUITE_SMALLBUSINESS_RESTRICTED 0x00000020
#define VER_SUITE_EMBEDDEDNT 0x00000040
#define VER_SUITE_DATACENTER 0x00000080
#define VER_SUITE_SINGLEUSERTS 0x00000100
#define VER_SUITE_PERSONAL 0x00000200
#define VER_SUITE_BLADE 0x00000400
#define VER_SUITE_STORAGE_SERVER 0x00002000
#define VER_SUITE_COMPUTE_SERVER 0x00004000
#define VER_SUITE_WH_SERVER 0x00008000

#define ERROR_BAD_ARGUMENTS 160L
#define ERROR_OLD_WIN_VERSION 1150L

// Sets the condition of one field in a condition mask: the first field of the type
// mask in the order product type, suite, service-pack major, service-pack minor,
// platform, build, major, minor (one call per field). A zero type mask or condition
// leaves the mask as it is.
HOSTLENS_WIN32_API ULONGLONG WINAPI VerSetConditionMask(ULONGLONG conditionMask, DWORD typeMask,
                                                        BYTE condition);
// TRUE when the machine meets every field of the type mask; FALSE with
// ERROR_OLD_WIN_VERSION when it does not, and with ERROR_BAD_ARGUMENTS for a zero type
// or condition mask, or a field of the type mask without a condition it takes.
HOSTLENS_WIN32_API BOOL WINAPI VerifyVersionInfoW(LPOSVERSIONINFOEXW info, DWORD typeMask,
                                                  DWORDLONG conditionMask);
// The machine's edition (PRODUCT_*), whatever version from 6.0 on the caller names; an
// earlier version gets FALSE and PRODUCT_UNDEFINED (0).
HOSTLENS_WIN32_API BOOL WINAPI GetProductInfo(DWORD osMajorVersion, DWORD osMinorVersion,
                                              DWORD spMajorVersion, DWORD spMinorVersion, PDWORD productType);

struct SYSTEM_INFO {
    union {
        DWORD dwOemId;
        struct {
            WORD wProcessorArchitecture;
            WORD wReserved;
        };
    };
    DWORD dwPageSize;
    LPVOID lpMinimumApplicationAddress;
    LPVOID lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
};
using LPSYSTEM_INFO = SYSTEM_INFO*;

#define PROCESSOR_ARCHITECTURE_INTEL 0
#define PROCESSOR_ARCHITECTURE_ARM 5
#define PROCESSOR_ARCHITECTURE_IA64 6
#define PROCESSOR_ARCHITECTURE_AMD64 9
#define PROCESSOR_ARCHITECTURE_ARM64 12
#define PROCESSOR_ARCHITECTURE_UNKNOWN 0xFFFF

#define IMAGE_FILE_MACHINE_UNKNOWN 0
#define IMAGE_FILE_MACHINE_I386 0x014c
#define IMAGE_FILE_MACHINE_ARMNT 0x01c4
#define IMAGE_FILE_MACHINE_IA64 0x0200
#define IMAGE_FILE_MACHINE_AMD64 0x8664
#define IMAGE_FILE_MACHINE_ARM64 0xAA64

// The system as the process sees it: a 32-bit process under WOW64 is told x86.
HOSTLENS_WIN32_API void WINAPI GetSystemInfo(LPSYSTEM_INFO info);
// The machine's own architecture, but for a process that ARM64 Windows emulates: an
// x86 process there is told x86, or x64 where x64 emulation exists, as Microsoft
// documents it.
HOSTLENS_WIN32_API void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO info);

// The pseudo handle of the calling process; it cannot fail and needs no closing.
HOSTLENS_WIN32_API HANDLE WINAPI GetCurrentProcess(void);
// For the current process only: the WOW64 guest (IMAGE_FILE_MACHINE_I386 for an x86
// process on 64-bit Windows, else IMAGE_FILE_MACHINE_UNKNOWN) and the machine's own
// architecture. Any other handle: FALSE with ERROR_INVALID_HANDLE.
HOSTLENS_WIN32_API BOOL WINAPI IsWow64Process2(HANDLE process, USHORT* processMachine, USHORT* nativeMachine);

#define SM_TABLETPC 86
#define SM_MEDIACENTER 87
#define SM_STARTER 88
#define SM_SERVERR2 89

// The machine's value of the metric, else 0.
HOSTLENS_WIN32_API int WINAPI GetSystemMetrics(int index);

// The computer's names (GetComputerNameExW) and the Windows folder.
enum COMPUTER_NAME_FORMAT {
    ComputerNameNetBIOS,
    ComputerNameDnsHostname,
    ComputerNameDnsDomain,
    ComputerNameDnsFullyQualified,
    ComputerNamePhysicalNetBIOS,
    ComputerNamePhysicalDnsHostname,
    ComputerNamePhysicalDnsDomain,
    ComputerNamePhysicalDnsFullyQualified,
    ComputerNameMax
};
HOSTLENS_WIN32_API BOOL WINAPI GetComputerNameExW(COMPUTER_NAME_FORMAT nameType, LPWSTR buffer, LPDWORD size);
HOSTLENS_WIN32_API UINT WINAPI GetWindowsDirectoryW(LPWSTR buffer, UINT size);
