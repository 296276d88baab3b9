// The registry: predefined roots, both views of a 64-bit machine, typed values.
#pragma once

#include "platform/posix/win32_types.h"

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))

#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define SYNCHRONIZE 0x00100000L
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define STANDARD_RIGHTS_ALL 0x001F0000L

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ \
    ((STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & (~SYNCHRONIZE))
#define KEY_WRITE ((STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & (~SYNCHRONIZE))
#define KEY_ALL_ACCESS                                                                                      \
    ((STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS | \
      KEY_NOTIFY | KEY_CREATE_LINK) &                                                                       \
     (~SYNCHRONIZE))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_RESOURCE_LIST 8
#define REG_FULL_RESOURCE_DESCRIPTOR 9
#define REG_RESOURCE_REQUIREMENTS_LIST 10
#define REG_QWORD 11

// Result codes only the registry reports (the rest are in win32_base.h).
#define ERROR_BAD_PATHNAME 161L
#define ERROR_NOACCESS 998L

#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

HOSTLENS_WIN32_API LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, DWORD desired,
                                                PHKEY result);
// The hive of the calling thread's user (impersonation included), HKEY_USERS\.DEFAULT
// when that user's hive is not loaded; the predefined HKEY_CURRENT_USER instead stays
// the hive of the user who first used it in the process.
HOSTLENS_WIN32_API LSTATUS WINAPI RegOpenCurrentUser(DWORD desired, PHKEY result);
HOSTLENS_WIN32_API LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved,
                                                   LPDWORD type, LPBYTE data, LPDWORD dataSize);
HOSTLENS_WIN32_API LSTATUS WINAPI RegCloseKey(HKEY key);
HOSTLENS_WIN32_API LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                                                  DWORD options, DWORD desired,
                                                  const SECURITY_ATTRIBUTES* security, PHKEY result,
                                                  LPDWORD disposition);
HOSTLENS_WIN32_API LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                                                 const BYTE* data, DWORD dataSize);
HOSTLENS_WIN32_API LSTATUS WINAPI RegDeleteTreeW(HKEY key, LPCWSTR subKey);
HOSTLENS_WIN32_API LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength,
                                                LPDWORD reserved, LPWSTR keyClass, LPDWORD classLength,
                                                PFILETIME lastWriteTime);
HOSTLENS_WIN32_API LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName,
                                                LPDWORD valueNameLength, LPDWORD reserved, LPDWORD type,
                                                LPBYTE data, LPDWORD dataSize);
HOSTLENS_WIN32_API LSTATUS WINAPI RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, LPDWORD classLength,
                                                   LPDWORD reserved, LPDWORD subKeys, LPDWORD maxSubKeyLength,
                                                   LPDWORD maxClassLength, LPDWORD values,
                                                   LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                                                   LPDWORD securityDescriptorSize, PFILETIME lastWriteTime);
