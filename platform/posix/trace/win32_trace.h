// Event tracing for Windows: the provider side (registration, control callback,
// TraceMessage) and the classic TraceEvent that the library's fallback emitter uses.
#pragma once

#include <cstdarg>

#include "platform/posix/win32_types.h"

using TRACEHANDLE = ULONG64;
using PTRACEHANDLE = TRACEHANDLE*;

enum WMIDPREQUESTCODE {
    WMI_GET_ALL_DATA = 0,
    WMI_GET_SINGLE_INSTANCE = 1,
    WMI_SET_SINGLE_INSTANCE = 2,
    WMI_SET_SINGLE_ITEM = 3,
    WMI_ENABLE_EVENTS = 4,
    WMI_DISABLE_EVENTS = 5,
    WMI_ENABLE_COLLECTION = 6,
    WMI_DISABLE_COLLECTION = 7,
    WMI_REGINFO = 8,
    WMI_EXECUTE_METHOD = 9,
};

using WMIDPREQUEST = ULONG(WINAPI*)(WMIDPREQUESTCODE requestCode, PVOID requestContext, ULONG* bufferSize,
                                    PVOID buffer);

struct TRACE_GUID_REGISTRATION {
    LPCGUID Guid;
    HANDLE RegHandle;
};
using PTRACE_GUID_REGISTRATION = TRACE_GUID_REGISTRATION*;

// TraceMessage flags.
#define TRACE_MESSAGE_SEQUENCE 1
#define TRACE_MESSAGE_GUID 2
#define TRACE_MESSAGE_COMPONENTID 4
#define TRACE_MESSAGE_TIMESTAMP 8
#define TRACE_MESSAGE_PERFORMANCE_TIMESTAMP 16
#define TRACE_MESSAGE_SYSTEMINFO 32

// WNODE header flags used with TraceEvent.
#define WNODE_FLAG_TRACED_GUID 0x00020000
#define WNODE_FLAG_USE_GUID_PTR 0x00080000
#define WNODE_FLAG_USE_MOF_PTR 0x00100000

#define MAX_MOF_FIELDS 16

// TraceEvent was handed a header without WNODE_FLAG_TRACED_GUID.
#define ERROR_INVALID_FLAG_NUMBER 186L

struct MOF_FIELD {
    ULONG64 DataPtr;
    ULONG Length;
    ULONG DataType;
};
using PMOF_FIELD = MOF_FIELD*;

// The classic event header, with the anonymous unions of the Windows header so that
// provider code names its members the same way on both platforms.
struct EVENT_TRACE_HEADER {
    USHORT Size;
    union {
        USHORT FieldTypeFlags;
        struct {
            UCHAR HeaderType;
            UCHAR MarkerFlags;
        };
    };
    union {
        ULONG Version;
        struct {
            UCHAR Type;
            UCHAR Level;
            USHORT Version;
        } Class;
    };
    ULONG ThreadId;
    ULONG ProcessId;
    LARGE_INTEGER TimeStamp;
    union {
        GUID Guid;
        ULONGLONG GuidPtr;
    };
    union {
        struct {
            ULONG KernelTime;
            ULONG UserTime;
        };
        ULONG64 ProcessorTime;
        struct {
            ULONG ClientContext;
            ULONG Flags;
        };
    };
};
using PEVENT_TRACE_HEADER = EVENT_TRACE_HEADER*;

HOSTLENS_WIN32_API ULONG WINAPI RegisterTraceGuidsW(WMIDPREQUEST requestAddress, PVOID requestContext,
                                                    LPCGUID controlGuid, ULONG guidCount,
                                                    PTRACE_GUID_REGISTRATION traceGuidReg,
                                                    LPCWSTR mofImagePath, LPCWSTR mofResourceName,
                                                    PTRACEHANDLE registrationHandle);
HOSTLENS_WIN32_API ULONG WINAPI UnregisterTraceGuids(TRACEHANDLE registrationHandle);
HOSTLENS_WIN32_API TRACEHANDLE WINAPI GetTraceLoggerHandle(PVOID buffer);
HOSTLENS_WIN32_API UCHAR WINAPI GetTraceEnableLevel(TRACEHANDLE loggerHandle);
HOSTLENS_WIN32_API ULONG WINAPI GetTraceEnableFlags(TRACEHANDLE loggerHandle);
HOSTLENS_WIN32_API ULONG TraceMessage(TRACEHANDLE loggerHandle, ULONG messageFlags, LPCGUID messageGuid,
                                      USHORT messageNumber, ...);
HOSTLENS_WIN32_API ULONG TraceMessageVa(TRACEHANDLE loggerHandle, ULONG messageFlags, LPCGUID messageGuid,
                                        USHORT messageNumber, va_list messageArgList);
HOSTLENS_WIN32_API ULONG WINAPI TraceEvent(TRACEHANDLE loggerHandle, PEVENT_TRACE_HEADER eventTrace);
