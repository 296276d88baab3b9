// Run-time loading of modules. System module names (kernel32, advapi32, ...) are
// answered by the compatibility layer itself, as built-in modules; every other name
// is a shared library found through the simulated machine's drive folders.
#pragma once

#include "platform/posix/win32_types.h"

#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// The file was found but is not a module this process can load.
#define ERROR_BAD_EXE_FORMAT 193L

HOSTLENS_WIN32_API HMODULE WINAPI LoadLibraryW(LPCWSTR fileName);
HOSTLENS_WIN32_API HMODULE WINAPI LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags);
HOSTLENS_WIN32_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
HOSTLENS_WIN32_API BOOL WINAPI FreeLibrary(HMODULE module);
HOSTLENS_WIN32_API HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName);
HOSTLENS_WIN32_API BOOL WINAPI DisableThreadLibraryCalls(HMODULE module);
