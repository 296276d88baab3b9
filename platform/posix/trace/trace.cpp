// Event tracing for Windows, the provider side: providers register a control
// callback, a controller enables them per control GUID (a test through the sim
// interface, or the HOSTLENS_TRACE environment setting, which stands for a trace
// session that is already running when the provider registers), and what they emit
// through TraceMessage or TraceEvent goes to the capture of the tests and to the
// session's trace file.
//
// As with classic Windows providers, one session at a time enables a control GUID;
// enabling it again changes that session's level and flags.
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/machine/machine.h"
#include "platform/posix/trace/trace_text.h"
#include "platform/posix/win32_base.h"
#include "platform/posix/trace/win32_trace.h"

namespace hostlens::sim {
namespace {

// What GetTraceLoggerHandle answers for a buffer it does not know, as Windows
// answers INVALID_HANDLE_VALUE.
constexpr TRACEHANDLE kInvalidTraceHandle = static_cast<TRACEHANDLE>(~std::uintptr_t{0});

// An event must fit a session buffer of 64 KB with its header.
constexpr std::size_t kMaxEventData = 64 * 1024 - sizeof(EVENT_TRACE_HEADER);

// The buffer a control callback receives, laid out as the WNODE_HEADER of Windows
// whose HistoricalContext carries the session's logger handle.
struct ControlHeader {
    ULONG BufferSize;
    ULONG ProviderId;
    ULONG64 HistoricalContext;
    LARGE_INTEGER TimeStamp;
    GUID Guid;
    ULONG ClientContext;
    ULONG Flags;
};

struct FileCloser {
    void operator()(std::FILE* file) const {
        if (file != stderr) std::fclose(file);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct Session {
    GUID guid{};
    UCHAR level = 0;
    ULONG flags = 0;
    File file;  // the trace file of a session started from the environment
};

struct Provider {
    GUID guid{};
    WMIDPREQUEST callback = nullptr;
    PVOID context = nullptr;
};

struct State {
    std::mutex mutex;
    // Held while control callbacks run, and by unregistration, so that a provider
    // is never called after UnregisterTraceGuids has returned. Recursive: a
    // callback may register or unregister.
    std::recursive_mutex dispatch;
    std::map<TRACEHANDLE, Provider> providers;  // by registration handle
    std::map<TRACEHANDLE, Session> sessions;    // by logger handle
    std::set<const void*> headers;              // control buffers of callbacks in progress
    TRACEHANDLE lastRegistration = 0x1000;
    TRACEHANDLE lastLogger = 0x20;
    bool capturing = false;
    std::vector<TracePoint> capture;
};

State& S() {
    static State* state = new State;  // never destroyed: providers unregister during static teardown
    return *state;
}

// Under S().mutex.
std::map<TRACEHANDLE, Session>::iterator FindSession(const GUID& guid) {
    for (auto it = S().sessions.begin(); it != S().sessions.end(); ++it)
        if (it->second.guid == guid) return it;
    return S().sessions.end();
}

// Calls the control callback of every provider of `guid` (only the one registered
// as `only`, when given) for the session `logger`. The caller holds S().dispatch;
// no data lock is held while a callback runs, since callbacks ask for the session's
// level and flags.
void Notify(const GUID& guid, WMIDPREQUESTCODE code, TRACEHANDLE logger,
            std::optional<TRACEHANDLE> only = {}) {
    std::vector<Provider> targets;
    {
        std::lock_guard lock(S().mutex);
        for (const auto& [handle, provider] : S().providers)
            if (provider.guid == guid && (!only || handle == *only)) targets.push_back(provider);
    }
    for (const Provider& provider : targets) {
        ControlHeader header{};
        header.BufferSize = sizeof header;
        header.HistoricalContext = logger;
        header.Guid = guid;
        {
            std::lock_guard lock(S().mutex);
            S().headers.insert(&header);
        }
        ULONG size = sizeof header;
        provider.callback(code, provider.context, &size, &header);
        std::lock_guard lock(S().mutex);
        S().headers.erase(&header);
    }
}

void Enable(const GUID& guid, UCHAR level, ULONG flags, File file = nullptr) {
    std::lock_guard dispatch(S().dispatch);
    TRACEHANDLE logger;
    {
        std::lock_guard lock(S().mutex);
        auto it = FindSession(guid);
        if (it == S().sessions.end()) {
            it = S().sessions.emplace(++S().lastLogger, Session{}).first;
            it->second.guid = guid;
        }
        it->second.level = level;
        it->second.flags = flags;
        if (file) it->second.file = std::move(file);
        logger = it->first;
    }
    Notify(guid, WMI_ENABLE_EVENTS, logger);
}

void Disable(const GUID& guid) {
    std::lock_guard dispatch(S().dispatch);
    TRACEHANDLE logger;
    {
        std::lock_guard lock(S().mutex);
        auto it = FindSession(guid);
        if (it == S().sessions.end()) return;
        logger = it->first;
    }
    Notify(guid, WMI_DISABLE_EVENTS, logger);
    std::lock_guard lock(S().mutex);
    S().sessions.erase(logger);
}

void Reset() {
    std::lock_guard dispatch(S().dispatch);
    std::vector<GUID> enabled;
    {
        std::lock_guard lock(S().mutex);
        for (const auto& [logger, session] : S().sessions) enabled.push_back(session.guid);
    }
    // Providers stay registered (a library registers once per process); they are
    // told that their session ended.
    for (const GUID& guid : enabled) Disable(guid);
    std::lock_guard lock(S().mutex);
    S().capturing = false;
    S().capture.clear();
}

[[maybe_unused]] const bool kResetRegistered = [] {
    detail::OnReset(&Reset);
    return true;
}();

// The session that HOSTLENS_TRACE asks for, if it is set and well formed.
std::optional<detail::TraceSetting> EnvironmentSetting() {
    const char* value = std::getenv("HOSTLENS_TRACE");
    if (value == nullptr || *value == '\0') return std::nullopt;
    std::string why;
    auto setting = detail::ParseTraceSetting(value, why);
    if (!setting) std::fprintf(stderr, "hostlens: HOSTLENS_TRACE=\"%s\" ignored: %s\n", value, why.c_str());
    return setting;
}

File OpenTraceFile(const std::string& path) {
    if (path.empty()) return nullptr;
    if (path == "-") return File(stderr);
    File file(std::fopen(path.c_str(), "a"));
    if (!file)
        std::fprintf(stderr, "hostlens: cannot open the trace file \"%s\": %s\n", path.c_str(),
                     std::strerror(errno));
    return file;
}

// Hands a trace point to the session `logger`: the capture, and its trace file.
ULONG Record(TRACEHANDLE logger, TracePoint point) {
    auto now = std::chrono::system_clock::now();
    point.level = static_cast<std::uint8_t>(point.number & 7);
    point.flag = (point.number >> 3) & 7;
    std::lock_guard lock(S().mutex);
    auto it = S().sessions.find(logger);
    if (it == S().sessions.end()) return ERROR_INVALID_HANDLE;
    if (std::FILE* file = it->second.file.get()) {
        std::string line = detail::FormatTraceLine(point, now);
        line += '\n';
        std::fputs(line.c_str(), file);
        std::fflush(file);
    }
    if (S().capturing) S().capture.push_back(std::move(point));
    return ERROR_SUCCESS;
}

ULONG Message(std::string_view function, TRACEHANDLE logger, ULONG messageFlags, LPCGUID messageGuid,
              USHORT messageNumber, va_list args) {
    if (auto fault = detail::Fault(function)) return *fault;
    if ((messageFlags & TRACE_MESSAGE_GUID) != 0 && messageGuid == nullptr) return ERROR_INVALID_PARAMETER;
    TracePoint point;
    if (messageGuid) point.messageGuid = *messageGuid;
    point.number = messageNumber;
    std::size_t total = 0;
    // (address, length) pairs up to a null address.
    while (const void* data = va_arg(args, const void*)) {
        std::size_t size = va_arg(args, std::size_t);
        total += size;
        if (total <= kMaxEventData) point.args.emplace_back(static_cast<const char*>(data), size);
    }
    if (total > kMaxEventData) return ERROR_OUTOFMEMORY;
    return Record(logger, std::move(point));
}

}  // namespace

void EnableTraceProvider(const GUID& controlGuid, std::uint8_t level, std::uint32_t flags) {
    Enable(controlGuid, level, flags);
}

void DisableTraceProvider(const GUID& controlGuid) {
    Disable(controlGuid);
}

bool IsTraceProviderRegistered(const GUID& controlGuid) {
    std::lock_guard lock(S().mutex);
    for (const auto& [handle, provider] : S().providers)
        if (provider.guid == controlGuid) return true;
    return false;
}

void StartTraceCapture() {
    std::lock_guard lock(S().mutex);
    S().capturing = true;
    S().capture.clear();
}

std::vector<TracePoint> TakeTraceCapture() {
    std::lock_guard lock(S().mutex);
    return std::exchange(S().capture, {});
}

}  // namespace hostlens::sim

using namespace hostlens::sim;

HOSTLENS_WIN32_API ULONG WINAPI RegisterTraceGuidsW(WMIDPREQUEST requestAddress, PVOID requestContext,
                                                    LPCGUID controlGuid, ULONG guidCount,
                                                    PTRACE_GUID_REGISTRATION traceGuidReg,
                                                    LPCWSTR mofImagePath, LPCWSTR mofResourceName,
                                                    PTRACEHANDLE registrationHandle) {
    if (auto fault = detail::Fault("RegisterTraceGuidsW")) return *fault;
    if (requestAddress == nullptr || controlGuid == nullptr || registrationHandle == nullptr ||
        (guidCount > 0 && traceGuidReg == nullptr))
        return ERROR_INVALID_PARAMETER;
    for (ULONG i = 0; i < guidCount; ++i)
        if (traceGuidReg[i].Guid == nullptr) return ERROR_INVALID_PARAMETER;

    std::lock_guard dispatch(S().dispatch);
    TRACEHANDLE handle;
    {
        std::lock_guard lock(S().mutex);
        handle = ++S().lastRegistration;
        S().providers[handle] = Provider{*controlGuid, requestAddress, requestContext};
    }
    // The handles are written before the callback runs: it may need them.
    *registrationHandle = handle;
    for (ULONG i = 0; i < guidCount; ++i) traceGuidReg[i].RegHandle = reinterpret_cast<HANDLE>(handle);

    if (auto setting = EnvironmentSetting()) {
        Enable(*controlGuid, setting->level, setting->flags, OpenTraceFile(setting->file));
        return ERROR_SUCCESS;
    }
    // A session that already enables this GUID enables the new provider at once.
    std::optional<TRACEHANDLE> logger;
    {
        std::lock_guard lock(S().mutex);
        auto it = FindSession(*controlGuid);
        if (it != S().sessions.end()) logger = it->first;
    }
    if (logger) Notify(*controlGuid, WMI_ENABLE_EVENTS, *logger, handle);
    return ERROR_SUCCESS;
}

HOSTLENS_WIN32_API ULONG WINAPI UnregisterTraceGuids(TRACEHANDLE registrationHandle) {
    if (auto fault = detail::Fault("UnregisterTraceGuids")) return *fault;
    std::lock_guard dispatch(S().dispatch);
    std::lock_guard lock(S().mutex);
    return S().providers.erase(registrationHandle) == 1 ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

HOSTLENS_WIN32_API TRACEHANDLE WINAPI GetTraceLoggerHandle(PVOID buffer) {
    if (auto fault = detail::Fault("GetTraceLoggerHandle")) {
        SetLastError(*fault);
        return kInvalidTraceHandle;
    }
    std::lock_guard lock(S().mutex);
    if (buffer == nullptr || S().headers.count(buffer) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return kInvalidTraceHandle;
    }
    return static_cast<const ControlHeader*>(buffer)->HistoricalContext;
}

namespace {

// One value of a session's enable state: 0, with ERROR_INVALID_HANDLE as the last
// error, for a handle that names no session.
template <class Value>
Value SessionValue(std::string_view function, TRACEHANDLE loggerHandle, Value Session::*member) {
    if (auto fault = detail::Fault(function)) {
        SetLastError(*fault);
        return 0;
    }
    std::lock_guard lock(S().mutex);
    auto it = S().sessions.find(loggerHandle);
    if (it == S().sessions.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return it->second.*member;
}

}  // namespace

HOSTLENS_WIN32_API UCHAR WINAPI GetTraceEnableLevel(TRACEHANDLE loggerHandle) {
    return SessionValue("GetTraceEnableLevel", loggerHandle, &Session::level);
}

HOSTLENS_WIN32_API ULONG WINAPI GetTraceEnableFlags(TRACEHANDLE loggerHandle) {
    return SessionValue("GetTraceEnableFlags", loggerHandle, &Session::flags);
}

HOSTLENS_WIN32_API ULONG TraceMessage(TRACEHANDLE loggerHandle, ULONG messageFlags, LPCGUID messageGuid,
                                      USHORT messageNumber, ...) {
    va_list args;
    // The signature is Windows': its last named parameter is a USHORT, which clang
    // warns about (-Wvarargs); the ABIs we build for give it a whole slot, so the
    // variable arguments start where va_start looks for them.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wvarargs"
#endif
    va_start(args, messageNumber);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
    ULONG result = Message("TraceMessage", loggerHandle, messageFlags, messageGuid, messageNumber, args);
    va_end(args);
    return result;
}

HOSTLENS_WIN32_API ULONG TraceMessageVa(TRACEHANDLE loggerHandle, ULONG messageFlags, LPCGUID messageGuid,
                                        USHORT messageNumber, va_list messageArgList) {
    return Message("TraceMessageVa", loggerHandle, messageFlags, messageGuid, messageNumber, messageArgList);
}

HOSTLENS_WIN32_API ULONG WINAPI TraceEvent(TRACEHANDLE loggerHandle, PEVENT_TRACE_HEADER eventTrace) {
    if (auto fault = detail::Fault("TraceEvent")) return *fault;
    if (eventTrace == nullptr) return ERROR_INVALID_PARAMETER;
    const EVENT_TRACE_HEADER& header = *eventTrace;
    if ((header.Flags & WNODE_FLAG_TRACED_GUID) == 0) return ERROR_INVALID_FLAG_NUMBER;
    if (header.Size < sizeof(EVENT_TRACE_HEADER)) return ERROR_INVALID_PARAMETER;

    TracePoint point;
    point.viaTraceEvent = true;
    if ((header.Flags & WNODE_FLAG_USE_GUID_PTR) != 0) {
        if (header.GuidPtr == 0) return ERROR_INVALID_PARAMETER;
        std::memcpy(&point.messageGuid, reinterpret_cast<const void*>(header.GuidPtr), sizeof(GUID));
    } else {
        point.messageGuid = header.Guid;
    }

    std::size_t payload = header.Size - sizeof(EVENT_TRACE_HEADER);
    if ((header.Flags & WNODE_FLAG_USE_MOF_PTR) != 0) {
        // MOF fields follow the header; the first carries the message number.
        if (payload % sizeof(MOF_FIELD) != 0 || payload / sizeof(MOF_FIELD) > MAX_MOF_FIELDS)
            return ERROR_INVALID_PARAMETER;
        const auto* fields = reinterpret_cast<const MOF_FIELD*>(eventTrace + 1);
        std::size_t count = payload / sizeof(MOF_FIELD);
        std::size_t total = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (fields[i].DataPtr == 0 && fields[i].Length != 0) return ERROR_INVALID_PARAMETER;
            total += fields[i].Length;
        }
        if (total > kMaxEventData) return ERROR_OUTOFMEMORY;
        for (std::size_t i = 0; i < count; ++i) {
            const auto* data = reinterpret_cast<const char*>(fields[i].DataPtr);
            if (i == 0) {
                if (fields[i].Length >= sizeof(USHORT)) std::memcpy(&point.number, data, sizeof(USHORT));
            } else {
                point.args.emplace_back(data, fields[i].Length);
            }
        }
    } else if (payload > 0) {
        // The event's data inline after the header: one argument, no message number.
        point.args.emplace_back(reinterpret_cast<const char*>(eventTrace + 1), payload);
    }
    return Record(loggerHandle, std::move(point));
}
