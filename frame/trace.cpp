// The trace channel's provider: registration at DLL load, the control callback that
// a trace session drives, and the fallback emitter for platforms without
// TraceMessage.
#include "frame/trace.h"

#include <cstdlib>
#include <cstring>

#include "frame/loader.h"

namespace hostlens::trace {

void* volatile g_controlHead = const_cast<void**>(&g_controlHead);
TraceMessageFn g_traceMessage = &FallbackTraceMessage;

namespace {

// {2DAFC98A-3FB6-4126-B13F-630081154973}
constexpr GUID kControlGuid = {0x2DAFC98A, 0x3FB6, 0x4126, {0xB1, 0x3F, 0x63, 0x00, 0x81, 0x15, 0x49, 0x73}};

// Options bit of a control block whose enable state lives in the block it forwards to.
constexpr USHORT kForwardToNext = 1;

// The largest argument payload the fallback emitter sends in one record.
constexpr std::size_t kMaxFallbackPayload = 8192;
// Arguments up to this count travel as separate MOF fields.
constexpr std::size_t kMaxSeparateArgs = 7;

using TraceMessageVaFn = ULONG (*)(TRACEHANDLE, ULONG, LPCGUID, USHORT, va_list);

ControlBlock g_block{};
TraceMessageVaFn g_traceMessageVa = &FallbackTraceMessageVa;

ULONG WINAPI ControlCallback(WMIDPREQUESTCODE requestCode, PVOID context, ULONG* /*bufferSize*/,
                             PVOID buffer) {
    TRACEHANDLE logger = 0;
    UCHAR level = 0;
    ULONG flags = 0;
    switch (requestCode) {
        case WMI_ENABLE_EVENTS:
            logger = GetTraceLoggerHandle(buffer);
            level = GetTraceEnableLevel(logger);
            flags = GetTraceEnableFlags(logger);
            break;
        case WMI_DISABLE_EVENTS:
            break;
        default:
            return ERROR_INVALID_PARAMETER;
    }
    auto* block = static_cast<ControlBlock*>(context);
    if ((block->options & kForwardToNext) != 0 && block->next != nullptr) block = block->next;
    // Trace points read these without a lock; relaxed atomic stores keep each value whole.
    __atomic_store_n(&block->loggerHandle, logger, __ATOMIC_RELAXED);
    __atomic_store_n(&block->level, level, __ATOMIC_RELAXED);
    __atomic_store_n(&block->flags, flags, __ATOMIC_RELAXED);
    return ERROR_SUCCESS;
}

void ResolveTraceFunctions() {
    HMODULE advapi = LoadLibraryW(W("advapi32"));
    if (advapi == nullptr) {
        g_traceMessage = &FallbackTraceMessage;
        g_traceMessageVa = &FallbackTraceMessageVa;
        return;
    }
    FARPROC message = GetProcAddress(advapi, "TraceMessage");
    if (message == nullptr) {
        g_traceMessage = &FallbackTraceMessage;
        g_traceMessageVa = &FallbackTraceMessageVa;
    } else {
        g_traceMessage = FunctionCast<TraceMessageFn>(message);
        FARPROC messageVa = GetProcAddress(advapi, "TraceMessageVa");
        g_traceMessageVa =
            messageVa != nullptr ? FunctionCast<TraceMessageVaFn>(messageVa) : &FallbackTraceMessageVa;
    }
    // advapi32 stays loaded for the process; this only drops the reference taken here.
    FreeLibrary(advapi);
}

}  // namespace

Arg WideText(const WCHAR* text) {
    static const WCHAR kNull[] = W("NULL");
    static const WCHAR kEmpty[] = W("<NULL>");
    if (text == nullptr) return Arg{kNull, sizeof(kNull)};
    if (*text == 0) return Arg{kEmpty, sizeof(kEmpty)};
    std::size_t length = 0;
    while (text[length] != 0) ++length;
    return Arg{text, (length + 1) * sizeof(WCHAR)};
}

Arg NarrowText(const char* text) {
    static const char kNull[] = "NULL";
    static const char kEmpty[] = "<NULL>";
    if (text == nullptr) return Arg{kNull, sizeof(kNull)};
    if (*text == 0) return Arg{kEmpty, sizeof(kEmpty)};
    return Arg{text, std::strlen(text) + 1};
}

void Initialize() {
    ResolveTraceFunctions();
    g_block = ControlBlock{};
    g_block.flagWords = 1;
    g_block.level = 1;
    __atomic_store_n(const_cast<void**>(&g_controlHead), static_cast<void*>(&g_block), __ATOMIC_RELEASE);
    for (auto* block = &g_block; block != nullptr; block = block->next) {
        TRACE_GUID_REGISTRATION registration{&kControlGuid, nullptr};
        RegisterTraceGuidsW(&ControlCallback, block, &kControlGuid, 1, &registration, nullptr, nullptr,
                            &block->registrationHandle);
    }
}

void Cleanup() {
    void* head = __atomic_load_n(const_cast<void**>(&g_controlHead), __ATOMIC_ACQUIRE);
    if (head == const_cast<void**>(&g_controlHead)) return;
    for (auto* block = static_cast<ControlBlock*>(head); block != nullptr; block = block->next) {
        if (block->registrationHandle != 0) {
            UnregisterTraceGuids(block->registrationHandle);
            block->registrationHandle = 0;
        }
    }
    __atomic_store_n(const_cast<void**>(&g_controlHead), const_cast<void**>(&g_controlHead),
                     __ATOMIC_RELEASE);
}

ULONG FallbackTraceMessageVa(TRACEHANDLE logger, ULONG /*messageFlags*/, LPCGUID messageGuid, USHORT number,
                             va_list args) {
    // First pass: count the (address, length) pairs and their total size.
    std::size_t count = 0;
    std::size_t total = 0;
    va_list scan;
    va_copy(scan, args);
    while (va_arg(scan, const void*) != nullptr) {
        total += va_arg(scan, std::size_t);
        ++count;
    }
    va_end(scan);
    if (total > kMaxFallbackPayload) return ERROR_SUCCESS;

    struct {
        EVENT_TRACE_HEADER header;
        MOF_FIELD fields[MAX_MOF_FIELDS];
    } record{};
    record.header.Flags = WNODE_FLAG_TRACED_GUID | WNODE_FLAG_USE_GUID_PTR | WNODE_FLAG_USE_MOF_PTR;
    record.header.GuidPtr = reinterpret_cast<ULONGLONG>(messageGuid);
    record.fields[0].DataPtr = reinterpret_cast<ULONG64>(&number);
    record.fields[0].Length = sizeof(number);
    std::size_t fields = 1;

    char* joined = nullptr;
    if (count <= kMaxSeparateArgs) {
        for (std::size_t i = 0; i < count; ++i) {
            const void* data = va_arg(args, const void*);
            record.fields[fields].DataPtr = reinterpret_cast<ULONG64>(data);
            record.fields[fields].Length = static_cast<ULONG>(va_arg(args, std::size_t));
            ++fields;
        }
    } else {
        // Many arguments travel together in one field, copied in order.
        joined = static_cast<char*>(std::malloc(total == 0 ? 1 : total));
        if (joined == nullptr) return ERROR_SUCCESS;
        std::size_t offset = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const void* data = va_arg(args, const void*);
            std::size_t length = va_arg(args, std::size_t);
            std::memcpy(joined + offset, data, length);
            offset += length;
        }
        record.fields[fields].DataPtr = reinterpret_cast<ULONG64>(joined);
        record.fields[fields].Length = static_cast<ULONG>(total);
        ++fields;
    }
    record.header.Size = static_cast<USHORT>(sizeof(EVENT_TRACE_HEADER) + fields * sizeof(MOF_FIELD));
    TraceEvent(logger, &record.header);
    std::free(joined);
    return ERROR_SUCCESS;
}

ULONG FallbackTraceMessage(TRACEHANDLE logger, ULONG messageFlags, LPCGUID messageGuid, USHORT number, ...) {
    va_list args;
    va_start(args, number);
    ULONG result = FallbackTraceMessageVa(logger, messageFlags, messageGuid, number, args);
    va_end(args);
    return result;
}

}  // namespace hostlens::trace
