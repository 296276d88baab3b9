// The one include for everything the library takes from the Windows API.
//
// On Windows this brings in the real system headers and nothing else. On Linux it
// declares the same names, and platform/posix implements them over the simulated
// machine, so that the code above it is written once against the Win32 API.
#pragma once

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <oleauto.h>
#include <objbase.h>
#include <evntrace.h>
#include <wmistr.h>
#include <wbemidl.h>

// Wide literal: L"..." is UTF-16 wchar_t on Windows.
#define W(text) L##text

// A DLL's exports are named by its .def file.
#define HOSTLENS_DLL_EXPORT

#else

#include "posix/win32_types.h"
#include "posix/win32_base.h"
#include "posix/modules/win32_module.h"
#include "posix/registry/win32_registry.h"
#include "posix/trace/win32_trace.h"
#include "posix/power/win32_power.h"
#include "posix/oleauto/win32_oleauto.h"
#include "posix/com/win32_com.h"
#include "posix/com/win32_wbem.h"
#include "posix/time/win32_time.h"
#include "posix/nls/win32_nls.h"
#include "posix/sysinfo/win32_sysinfo.h"

// Wide literal: u"..." is UTF-16 char16_t on Linux.
#define W(text) u##text

// A module's symbols are hidden but for its exports, which its version script lists.
#define HOSTLENS_DLL_EXPORT __attribute__((visibility("default")))

#endif

#include <string>

// The wide string of every record that crosses the library boundary.
using WString = std::basic_string<WCHAR>;
