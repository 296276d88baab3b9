// Code pages: the machine's ANSI code page and conversions between code-page text
// and UTF-16.
#pragma once

#include "platform/posix/win32_types.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_SYMBOL 42
#define CP_UTF7 65000
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008

#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_COMPOSITECHECK 0x00000200
#define WC_NO_BEST_FIT_CHARS 0x00000400

#define ERROR_INVALID_FLAGS 1004L
#define ERROR_NO_UNICODE_TRANSLATION 1113L

using LPBOOL = BOOL*;
using LPCCH = const CHAR*;
using LPCWCH = const WCHAR*;

HOSTLENS_WIN32_API UINT WINAPI GetACP(void);
HOSTLENS_WIN32_API BOOL WINAPI IsValidCodePage(UINT codePage);
HOSTLENS_WIN32_API int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH bytes, int length,
                                                  LPWSTR wide, int capacity);
HOSTLENS_WIN32_API int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int length,
                                                  LPSTR bytes, int capacity, LPCCH defaultChar,
                                                  LPBOOL usedDefaultChar);
