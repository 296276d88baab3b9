// The trace channel: a software-trace provider that the library registers when the
// DLL is loaded. A trace point carries its source module's message GUID, a message
// number and raw argument values; it costs one pointer compare and two tests while
// tracing is off, and its arguments are evaluated only when it fires.
//
// Message numbers carry the trace point's level in bits 0-2 and its flag in bits
// 3-5, so that a decoder can filter them without the format files; bits 6-15 are the
// source line, which tells trace points of one source module apart.
#pragma once

#include <cstdint>
#include <cstdarg>
#include <string>
#include <tuple>
#include <type_traits>

#include "platform/win32.h"

namespace hostlens::trace {

enum Level : UCHAR {
    kCritical = 1,
    kError = 2,
    kWarning = 3,
    kInformation = 4,
    kVerbose = 5,
};

enum Flag : ULONG {
    kGeneral = 1,  // every trace point of the library ...
    kLoader = 4,   // ... except the logging-library loader and the template parser
};

// The provider's control block, laid out as the tracing service expects it.
struct ControlBlock {
    ControlBlock* next;
    TRACEHANDLE registrationHandle;
    TRACEHANDLE loggerHandle;
    UCHAR flagWords;
    UCHAR level;
    USHORT options;
    ULONG flags;
};

// The head of the control-block list: it points at itself while the channel is not
// initialised, which turns every trace point off.
extern void* volatile g_controlHead;

inline bool IsEnabled(ULONG flag, UCHAR level) {
    void* head = __atomic_load_n(const_cast<void**>(&g_controlHead), __ATOMIC_RELAXED);
    if (head == const_cast<void**>(&g_controlHead)) return false;
    auto* block = static_cast<ControlBlock*>(head);
    return (__atomic_load_n(&block->flags, __ATOMIC_RELAXED) & flag) != 0 &&
           __atomic_load_n(&block->level, __ATOMIC_RELAXED) >= level;
}

constexpr USHORT MessageNumber(unsigned line, ULONG flag, UCHAR level) {
    return static_cast<USHORT>(((line & 0x3FF) << 6) | ((flag & 7) << 3) | (level & 7));
}

// A stable message GUID per source module, derived from its name.
constexpr GUID ModuleGuid(const char* name) {
    std::uint64_t a = 14695981039346656037ull;
    std::uint64_t b = 1099511628211ull * 31;
    for (const char* p = name; *p; ++p) {
        a = (a ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
        b = (b ^ static_cast<unsigned char>(*p)) * 1469598103934665603ull;
    }
    GUID guid{};
    guid.Data1 = static_cast<std::uint32_t>(a >> 32);
    guid.Data2 = static_cast<std::uint16_t>(a >> 16);
    guid.Data3 = static_cast<std::uint16_t>((a & 0x0FFF) | 0x5000);
    for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<std::uint8_t>(b >> (8 * i));
    guid.Data4[0] = static_cast<std::uint8_t>((guid.Data4[0] & 0x3F) | 0x80);
    return guid;
}

// One argument as an (address, length) pair. Texts travel with their terminating
// NUL; a null pointer travels as "NULL" and an empty text as "<NULL>".
struct Arg {
    const void* data;
    std::size_t size;
};

Arg WideText(const WCHAR* text);
Arg NarrowText(const char* text);

inline Arg ToArg(const WCHAR* text) {
    return WideText(text);
}
inline Arg ToArg(WCHAR* text) {
    return WideText(text);
}
inline Arg ToArg(const WString& text) {
    return WideText(text.c_str());
}
inline Arg ToArg(const char* text) {
    return NarrowText(text);
}
inline Arg ToArg(char* text) {
    return NarrowText(text);
}
inline Arg ToArg(const std::string& text) {
    return NarrowText(text.c_str());
}
inline Arg ToArg(const GUID& guid) {
    return Arg{&guid, sizeof(GUID)};
}
template <class T>
requires(std::is_arithmetic_v<T> || std::is_enum_v<T> || std::is_pointer_v<T>) Arg ToArg(const T& value) {
    return Arg{&value, sizeof(T)};
}

using TraceMessageFn = ULONG (*)(TRACEHANDLE, ULONG, LPCGUID, USHORT, ...);
extern TraceMessageFn g_traceMessage;

// Flags of every message: sequence number, message GUID, timestamp, system information.
constexpr ULONG kMessageFlags =
    TRACE_MESSAGE_SEQUENCE | TRACE_MESSAGE_GUID | TRACE_MESSAGE_TIMESTAMP | TRACE_MESSAGE_SYSTEMINFO;

template <class... P>
void EmitArgs(const GUID& guid, USHORT number, P... pairs) {
    auto* block = static_cast<ControlBlock*>(g_controlHead);
    std::apply(
        [&](auto... values) {
            g_traceMessage(block->loggerHandle, kMessageFlags, &guid, number, values...,
                           static_cast<const void*>(nullptr));
        },
        std::tuple_cat(std::make_tuple(pairs.data, pairs.size)...));
}

template <class... A>
void Emit(const GUID& guid, USHORT number, const A&... args) {
    EmitArgs(guid, number, ToArg(args)...);
}

// Process attach and detach of the DLL.
void Initialize();
void Cleanup();

// The library's own emitter for a platform without TraceMessage: one TraceEvent
// record of at most 8192 bytes of arguments.
ULONG FallbackTraceMessageVa(TRACEHANDLE logger, ULONG messageFlags, LPCGUID messageGuid, USHORT number,
                             va_list args);
ULONG FallbackTraceMessage(TRACEHANDLE logger, ULONG messageFlags, LPCGUID messageGuid, USHORT number, ...);

}  // namespace hostlens::trace

// Names the source module whose trace points follow; once per source file.
#define HL_TRACE_MODULE(name)                                        \
    namespace {                                                      \
    constexpr GUID kTraceGuid = ::hostlens::trace::ModuleGuid(name); \
    }

#define HL_TRACE(flag, level, ...)                                                                          \
    do {                                                                                                    \
        if (::hostlens::trace::IsEnabled((flag), (level)))                                                  \
            ::hostlens::trace::Emit(kTraceGuid, ::hostlens::trace::MessageNumber(__LINE__, (flag), (level)) \
                                                    __VA_OPT__(, ) __VA_ARGS__);                            \
    } while (0)

#define TRACE_CRITICAL(...) \
    HL_TRACE(::hostlens::trace::kGeneral, ::hostlens::trace::kCritical __VA_OPT__(, ) __VA_ARGS__)
#define TRACE_ERROR(...) \
    HL_TRACE(::hostlens::trace::kGeneral, ::hostlens::trace::kError __VA_OPT__(, ) __VA_ARGS__)
#define TRACE_WARNING(...) \
    HL_TRACE(::hostlens::trace::kGeneral, ::hostlens::trace::kWarning __VA_OPT__(, ) __VA_ARGS__)
#define TRACE_INFO(...) \
    HL_TRACE(::hostlens::trace::kGeneral, ::hostlens::trace::kInformation __VA_OPT__(, ) __VA_ARGS__)
#define TRACE_VERBOSE(...) \
    HL_TRACE(::hostlens::trace::kGeneral, ::hostlens::trace::kVerbose __VA_OPT__(, ) __VA_ARGS__)
