// Event tracing, provider side: registration, enabling through the controller and
// the environment, what TraceMessage and TraceEvent deliver, and the trace file.
#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/machine_test.h"

namespace hostlens::test {
namespace {

constexpr GUID kControlGuid = {0x6B1D2A40, 0x1C4E, 0x4F7A, {0x9D, 0x3B, 0x21, 0x55, 0x8C, 0x0E, 0x7A, 0x14}};
constexpr GUID kOtherGuid = {0x6B1D2A41, 0x1C4E, 0x4F7A, {0x9D, 0x3B, 0x21, 0x55, 0x8C, 0x0E, 0x7A, 0x14}};
constexpr GUID kMessageGuid = {0x0A1B2C3D, 0x4E5F, 0x5A6B, {0x87, 0x98, 0xA9, 0xBA, 0xCB, 0xDC, 0xED, 0xFE}};
constexpr const char* kMessageGuidText = "{0A1B2C3D-4E5F-5A6B-8798-A9BACBDCEDFE}";
constexpr TRACEHANDLE kInvalidTraceHandle = static_cast<TRACEHANDLE>(~std::uintptr_t{0});
constexpr ULONG kMessageFlags =
    TRACE_MESSAGE_SEQUENCE | TRACE_MESSAGE_GUID | TRACE_MESSAGE_TIMESTAMP | TRACE_MESSAGE_SYSTEMINFO;

// The library's message numbers: level in bits 0-2, flag in bits 3-5, line above.
constexpr USHORT Number(unsigned line, unsigned flag, unsigned level) {
    return static_cast<USHORT>((line << 6) | (flag << 3) | level);
}

struct ControlEvent {
    WMIDPREQUESTCODE code;
    TRACEHANDLE logger;
    UCHAR level;
    ULONG flags;
    TRACEHANDLE registration;  // the provider's handle as the callback saw it
};

// A provider as the library sets one up: a control callback that takes the
// session's logger handle, level and flags from the platform.
class TestProvider {
public:
    explicit TestProvider(const GUID& guid = kControlGuid) : guid_(guid) {}
    ~TestProvider() {
        if (handle_ != 0) UnregisterTraceGuids(handle_);
    }

    ULONG Register() {
        TRACE_GUID_REGISTRATION registration{&guid_, nullptr};
        return RegisterTraceGuidsW(&Callback, this, &guid_, 1, &registration, nullptr, nullptr, &handle_);
    }
    ULONG Unregister() {
        ULONG result = UnregisterTraceGuids(handle_);
        if (result == ERROR_SUCCESS) handle_ = 0;
        return result;
    }
    TRACEHANDLE Logger() const { return events.empty() ? 0 : events.back().logger; }

    std::vector<ControlEvent> events;

private:
    static ULONG WINAPI Callback(WMIDPREQUESTCODE code, PVOID context, ULONG* size, PVOID buffer) {
        auto* self = static_cast<TestProvider*>(context);
        ControlEvent event{code, GetTraceLoggerHandle(buffer), 0, 0, self->handle_};
        if (code == WMI_ENABLE_EVENTS) {
            event.level = GetTraceEnableLevel(event.logger);
            event.flags = GetTraceEnableFlags(event.logger);
        }
        self->events.push_back(event);
        return ERROR_SUCCESS;
    }

    GUID guid_;
    TRACEHANDLE handle_ = 0;
};

// Sets HOSTLENS_TRACE for its lifetime.
class TraceSetting {
public:
    explicit TraceSetting(const std::string& value) { ::setenv("HOSTLENS_TRACE", value.c_str(), 1); }
    ~TraceSetting() { ::unsetenv("HOSTLENS_TRACE"); }
};

ULONG MessageVa(TRACEHANDLE logger, ULONG flags, LPCGUID guid, USHORT number, ...) {
    va_list args;
    va_start(args, number);
    ULONG result = TraceMessageVa(logger, flags, guid, number, args);
    va_end(args);
    return result;
}

template <class T>
std::string Bytes(const T& value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

std::string Bytes(const void* data, std::size_t size) {
    return std::string(static_cast<const char*>(data), size);
}

// A TraceEvent record as the library's fallback emitter builds it.
struct Event {
    EVENT_TRACE_HEADER header{};
    MOF_FIELD fields[MAX_MOF_FIELDS + 1]{};
};

Event MakeEvent(const GUID* guid, const USHORT* number, std::vector<std::pair<const void*, ULONG>> args) {
    Event event;
    event.header.Flags = WNODE_FLAG_TRACED_GUID | WNODE_FLAG_USE_GUID_PTR | WNODE_FLAG_USE_MOF_PTR;
    event.header.GuidPtr = reinterpret_cast<ULONGLONG>(guid);
    event.fields[0] = {reinterpret_cast<ULONG64>(number), sizeof(USHORT), 0};
    for (std::size_t i = 0; i < args.size(); ++i)
        event.fields[i + 1] = {reinterpret_cast<ULONG64>(args[i].first), args[i].second, 0};
    event.header.Size =
        static_cast<USHORT>(sizeof(EVENT_TRACE_HEADER) + (args.size() + 1) * sizeof(MOF_FIELD));
    return event;
}

std::vector<std::string> ReadLines(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

using TraceTest = MachineTest;

TEST_F(TraceTest, ControllerEnablesAndDisablesARegisteredProvider) {
    TestProvider provider;
    EXPECT_FALSE(sim::IsTraceProviderRegistered(kControlGuid));
    ASSERT_EQ(provider.Register(), static_cast<ULONG>(ERROR_SUCCESS));
    EXPECT_TRUE(sim::IsTraceProviderRegistered(kControlGuid));
    EXPECT_TRUE(provider.events.empty());  // nothing enables it yet

    sim::EnableTraceProvider(kControlGuid, 4, 0x5);
    ASSERT_EQ(provider.events.size(), 1u);
    const ControlEvent enabled = provider.events[0];
    EXPECT_EQ(enabled.code, WMI_ENABLE_EVENTS);
    EXPECT_NE(enabled.logger, 0u);
    EXPECT_NE(enabled.logger, kInvalidTraceHandle);
    EXPECT_EQ(enabled.level, 4);
    EXPECT_EQ(enabled.flags, 0x5u);

    // Enabling again changes the same session's level and flags.
    sim::EnableTraceProvider(kControlGuid, 2, 0x1);
    ASSERT_EQ(provider.events.size(), 2u);
    EXPECT_EQ(provider.events[1].code, WMI_ENABLE_EVENTS);
    EXPECT_EQ(provider.events[1].logger, enabled.logger);
    EXPECT_EQ(provider.events[1].level, 2);
    EXPECT_EQ(provider.events[1].flags, 0x1u);

    sim::EnableTraceProvider(kOtherGuid, 5, 0xFF);  // another provider's GUID
    EXPECT_EQ(provider.events.size(), 2u);

    sim::DisableTraceProvider(kControlGuid);
    ASSERT_EQ(provider.events.size(), 3u);
    EXPECT_EQ(provider.events[2].code, WMI_DISABLE_EVENTS);
    EXPECT_EQ(provider.events[2].logger, enabled.logger);
    SetLastError(0);
    EXPECT_EQ(GetTraceEnableLevel(enabled.logger), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    sim::DisableTraceProvider(kControlGuid);
    EXPECT_EQ(provider.events.size(), 3u);

    ASSERT_EQ(provider.Unregister(), static_cast<ULONG>(ERROR_SUCCESS));
    EXPECT_FALSE(sim::IsTraceProviderRegistered(kControlGuid));
    sim::EnableTraceProvider(kControlGuid, 5, 0x1);
    EXPECT_EQ(provider.events.size(), 3u);
    EXPECT_EQ(UnregisterTraceGuids(0x4242), static_cast<ULONG>(ERROR_INVALID_PARAMETER));
}

TEST_F(TraceTest, AProviderRegisteringWhileEnabledIsEnabledAtOnce) {
    sim::EnableTraceProvider(kControlGuid, 5, 0xFF);
    TestProvider first;
    ASSERT_EQ(first.Register(), static_cast<ULONG>(ERROR_SUCCESS));
    ASSERT_EQ(first.events.size(), 1u);
    EXPECT_EQ(first.events[0].code, WMI_ENABLE_EVENTS);
    EXPECT_EQ(first.events[0].level, 5);
    EXPECT_EQ(first.events[0].flags, 0xFFu);
    EXPECT_NE(first.events[0].registration, 0u);  // the handle was already written

    // A second provider of the same GUID: only the newcomer is called.
    TestProvider second;
    ASSERT_EQ(second.Register(), static_cast<ULONG>(ERROR_SUCCESS));
    EXPECT_EQ(first.events.size(), 1u);
    ASSERT_EQ(second.events.size(), 1u);
    EXPECT_EQ(second.events[0].logger, first.events[0].logger);

    sim::DisableTraceProvider(kControlGuid);
    EXPECT_EQ(first.events.size(), 2u);
    EXPECT_EQ(second.events.size(), 2u);
}

TEST_F(TraceTest, BadArgumentsAndHandlesAreRefused) {
    GUID guid = kControlGuid;
    TRACE_GUID_REGISTRATION registration{&guid, nullptr};
    TRACE_GUID_REGISTRATION noGuid{nullptr, nullptr};
    TRACEHANDLE handle = 0;
    auto callback = +[](WMIDPREQUESTCODE, PVOID, ULONG*, PVOID) -> ULONG { return 0; };
    struct Case {
        const char* what;
        WMIDPREQUEST callback;
        LPCGUID guid;
        ULONG count;
        PTRACE_GUID_REGISTRATION registrations;
        PTRACEHANDLE handle;
    };
    const Case cases[] = {
        {"no callback", nullptr, &guid, 1, &registration, &handle},
        {"no control GUID", callback, nullptr, 1, &registration, &handle},
        {"no handle", callback, &guid, 1, &registration, nullptr},
        {"no registrations", callback, &guid, 1, nullptr, &handle},
        {"a registration without GUID", callback, &guid, 1, &noGuid, &handle},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RegisterTraceGuidsW(c.callback, nullptr, c.guid, c.count, c.registrations, nullptr, nullptr,
                                      c.handle),
                  static_cast<ULONG>(ERROR_INVALID_PARAMETER));
        EXPECT_FALSE(sim::IsTraceProviderRegistered(kControlGuid));
    }

    int notAControlBuffer = 0;
    for (void* buffer : {static_cast<void*>(nullptr), static_cast<void*>(&notAControlBuffer)}) {
        SetLastError(0);
        EXPECT_EQ(GetTraceLoggerHandle(buffer), kInvalidTraceHandle);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    SetLastError(0);
    EXPECT_EQ(GetTraceEnableFlags(0x4242), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    int value = 1;
    for (TRACEHANDLE logger : {TRACEHANDLE{0}, TRACEHANDLE{0x4242}, kInvalidTraceHandle}) {
        EXPECT_EQ(TraceMessage(logger, kMessageFlags, &kMessageGuid, 1, &value, sizeof value, nullptr),
                  static_cast<ULONG>(ERROR_INVALID_HANDLE));
    }
}

TEST_F(TraceTest, TraceMessagesReachTheCaptureUnfiltered) {
    TestProvider provider;
    ASSERT_EQ(provider.Register(), static_cast<ULONG>(ERROR_SUCCESS));
    // The session filters nothing: choosing what to emit is the provider's part.
    sim::EnableTraceProvider(kControlGuid, 1, 0x1);
    TRACEHANDLE logger = provider.Logger();
    sim::StartTraceCapture();

    const int code = 87;
    const WCHAR* wide = W("Wide");
    const char* narrow = "narrow";
    struct Case {
        unsigned flag;
        unsigned level;
        bool variadicList;
    };
    const Case cases[] = {{1, 1, false}, {1, 2, true}, {4, 3, false}, {4, 5, true}, {1, 4, false}};
    for (const Case& c : cases) {
        USHORT number = Number(300, c.flag, c.level);
        ULONG result = c.variadicList
                           ? MessageVa(logger, kMessageFlags, &kMessageGuid, number, &code, sizeof code, wide,
                                       std::size_t{10}, narrow, std::size_t{7}, nullptr)
                           : TraceMessage(logger, kMessageFlags, &kMessageGuid, number, &code, sizeof code,
                                          wide, std::size_t{10}, narrow, std::size_t{7}, nullptr);
        EXPECT_EQ(result, static_cast<ULONG>(ERROR_SUCCESS));
    }
    std::vector<sim::TracePoint> points = sim::TakeTraceCapture();
    ASSERT_EQ(points.size(), std::size(cases));
    for (std::size_t i = 0; i < points.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(points[i].messageGuid, kMessageGuid);
        EXPECT_EQ(points[i].number, Number(300, cases[i].flag, cases[i].level));
        EXPECT_EQ(points[i].level, cases[i].level);
        EXPECT_EQ(points[i].flag, cases[i].flag);
        EXPECT_FALSE(points[i].viaTraceEvent);
        EXPECT_EQ(points[i].args, (std::vector<std::string>{Bytes(code), Bytes(wide, 10), Bytes(narrow, 7)}));
    }
    EXPECT_TRUE(sim::TakeTraceCapture().empty());  // taken

    // No arguments; arguments too large for a session buffer; a GUID promised and missing.
    EXPECT_EQ(TraceMessage(logger, kMessageFlags, &kMessageGuid, Number(1, 1, 1), nullptr),
              static_cast<ULONG>(ERROR_SUCCESS));
    std::vector<char> huge(70 * 1024, 'x');
    EXPECT_EQ(TraceMessage(logger, kMessageFlags, &kMessageGuid, Number(2, 1, 1), huge.data(), huge.size(),
                           nullptr),
              static_cast<ULONG>(ERROR_OUTOFMEMORY));
    EXPECT_EQ(TraceMessage(logger, kMessageFlags, nullptr, Number(3, 1, 1), nullptr),
              static_cast<ULONG>(ERROR_INVALID_PARAMETER));
    points = sim::TakeTraceCapture();
    ASSERT_EQ(points.size(), 1u);
    EXPECT_TRUE(points[0].args.empty());

    // The session's handle ends with the session.
    sim::DisableTraceProvider(kControlGuid);
    EXPECT_EQ(TraceMessage(logger, kMessageFlags, &kMessageGuid, Number(4, 1, 1), nullptr),
              static_cast<ULONG>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(sim::TakeTraceCapture().empty());
}

TEST_F(TraceTest, TraceEventRecordsAreCapturedAndCheckedLikeWindows) {
    TestProvider provider;
    ASSERT_EQ(provider.Register(), static_cast<ULONG>(ERROR_SUCCESS));
    sim::EnableTraceProvider(kControlGuid, 5, 0x5);
    TRACEHANDLE logger = provider.Logger();
    sim::StartTraceCapture();

    const USHORT number = Number(42, 4, 2);
    const int code = 5;
    const WCHAR* wide = W("Hi");
    Event event = MakeEvent(&kMessageGuid, &number, {{&code, sizeof code}, {wide, 6}});
    ASSERT_EQ(TraceEvent(logger, &event.header), static_cast<ULONG>(ERROR_SUCCESS));

    // The GUID in the header itself rather than by pointer.
    Event inlineGuid = MakeEvent(&kMessageGuid, &number, {});
    inlineGuid.header.Flags &= ~WNODE_FLAG_USE_GUID_PTR;
    inlineGuid.header.Guid = kOtherGuid;
    ASSERT_EQ(TraceEvent(logger, &inlineGuid.header), static_cast<ULONG>(ERROR_SUCCESS));

    std::vector<sim::TracePoint> points = sim::TakeTraceCapture();
    ASSERT_EQ(points.size(), 2u);
    EXPECT_TRUE(points[0].viaTraceEvent);
    EXPECT_EQ(points[0].messageGuid, kMessageGuid);
    EXPECT_EQ(points[0].number, number);
    EXPECT_EQ(points[0].level, 2);
    EXPECT_EQ(points[0].flag, 4u);
    EXPECT_EQ(points[0].args, (std::vector<std::string>{Bytes(code), Bytes(wide, 6)}));
    EXPECT_EQ(points[1].messageGuid, kOtherGuid);
    EXPECT_TRUE(points[1].args.empty());

    struct Case {
        const char* what;
        void (*spoil)(Event&);
        ULONG error;
    };
    const Case cases[] = {
        {"not a traced GUID", [](Event& e) { e.header.Flags &= ~WNODE_FLAG_TRACED_GUID; },
         ERROR_INVALID_FLAG_NUMBER},
        {"size shorter than the header", [](Event& e) { e.header.Size = sizeof(EVENT_TRACE_HEADER) - 1; },
         ERROR_INVALID_PARAMETER},
        {"size between two fields", [](Event& e) { e.header.Size += 5; }, ERROR_INVALID_PARAMETER},
        {"null GUID pointer", [](Event& e) { e.header.GuidPtr = 0; }, ERROR_INVALID_PARAMETER},
        {"a field without data", [](Event& e) { e.fields[1].DataPtr = 0; }, ERROR_INVALID_PARAMETER},
        {"more fields than allowed",
         [](Event& e) {
             e.header.Size = sizeof(EVENT_TRACE_HEADER) + (MAX_MOF_FIELDS + 1) * sizeof(MOF_FIELD);
         },
         ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Event spoilt = MakeEvent(&kMessageGuid, &number, {{&code, sizeof code}});
        c.spoil(spoilt);
        EXPECT_EQ(TraceEvent(logger, &spoilt.header), c.error);
    }
    EXPECT_EQ(TraceEvent(logger, nullptr), static_cast<ULONG>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(TraceEvent(0x4242, &event.header), static_cast<ULONG>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(sim::TakeTraceCapture().empty());
    sim::DisableTraceProvider(kControlGuid);
}

TEST_F(TraceTest, AnEnvironmentSessionWritesReadableLines) {
    std::filesystem::path file = DriveC() / "trace.log";
    TraceSetting setting("level=5,flags=0x7,file=" + file.string());
    TestProvider provider;
    ASSERT_EQ(provider.Register(), static_cast<ULONG>(ERROR_SUCCESS));
    ASSERT_EQ(provider.events.size(), 1u);
    EXPECT_EQ(provider.events[0].level, 5);
    EXPECT_EQ(provider.events[0].flags, 0x7u);
    TRACEHANDLE logger = provider.Logger();

    const USHORT number = Number(12, 1, 2);
    const int code = 0x57;
    const WCHAR* wide = W("Hi");
    const char* narrow = "narrow";
    const unsigned char blob[] = {0x01, 0x02, 0x03};
    ASSERT_EQ(TraceMessage(logger, kMessageFlags, &kMessageGuid, number, &code, sizeof code, wide,
                           std::size_t{6}, narrow, std::size_t{7}, blob, sizeof blob, nullptr),
              static_cast<ULONG>(ERROR_SUCCESS));
    Event event = MakeEvent(&kMessageGuid, &number, {{&code, sizeof code}, {W("\"x\""), 8}});
    ASSERT_EQ(TraceEvent(logger, &event.header), static_cast<ULONG>(ERROR_SUCCESS));
    sim::DisableTraceProvider(kControlGuid);

    std::vector<std::string> lines = ReadLines(file);
    ASSERT_EQ(lines.size(), 2u);
    const std::regex stamp(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z .*)");
    const std::string head =
        std::string(kMessageGuidText) + " number=" + std::to_string(number) + " level=2 flag=1";
    EXPECT_TRUE(std::regex_match(lines[0], stamp)) << lines[0];
    EXPECT_EQ(lines[0].substr(25),
              head + " arg1=0x00000057 arg2=480069000000 u\"Hi\" arg3=6E6172726F7700 \"narrow\" arg4=010203");
    EXPECT_TRUE(std::regex_match(lines[1], stamp)) << lines[1];
    EXPECT_EQ(lines[1].substr(25),
              head + " via=TraceEvent arg1=0x00000057 arg2=0x0000002200780022 u\"\\\"x\\\"\"");
}

TEST_F(TraceTest, TheEnvironmentSettingIsParsedStrictly) {
    std::filesystem::path commaFile = DriveC() / "a,b.log";
    struct Case {
        std::string value;
        bool enables;
        UCHAR level;
        ULONG flags;
    };
    const Case cases[] = {
        {"level=4,flags=0x1", true, 4, 0x1},
        {"flags=0X10,level=0", true, 0, 0x10},
        {"level=255,flags=4294967295", true, 255, 0xFFFFFFFF},
        {"level=3,flags=0xffffffff", true, 3, 0xFFFFFFFF},
        {"level=3,flags=1,file=" + commaFile.string(), true, 3, 1},
        {"level=4", false, 0, 0},
        {"flags=1", false, 0, 0},
        {"level=256,flags=1", false, 0, 0},
        {"level=-1,flags=1", false, 0, 0},
        {"level=four,flags=1", false, 0, 0},
        {"level=,flags=1", false, 0, 0},
        {"level=4,flags=0x", false, 0, 0},
        {"level=4,flags=0x100000000", false, 0, 0},
        {"level=4,flags=4294967296", false, 0, 0},
        {"level=4,flags=1,", false, 0, 0},
        {" level=4,flags=1", false, 0, 0},
        {"level=4 ,flags=1", false, 0, 0},
        {"LEVEL=4,flags=1", false, 0, 0},
        {"level=4,flags=1,colour=red", false, 0, 0},
        {"level=4,level=5,flags=1", false, 0, 0},
        {"level=4,flags=1,file=", false, 0, 0},
        {"level 4", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        TraceSetting setting(c.value);
        TestProvider provider;
        testing::internal::CaptureStderr();
        ASSERT_EQ(provider.Register(), static_cast<ULONG>(ERROR_SUCCESS));
        std::string complaint = testing::internal::GetCapturedStderr();
        if (c.enables) {
            ASSERT_EQ(provider.events.size(), 1u);
            EXPECT_EQ(provider.events[0].level, c.level);
            EXPECT_EQ(provider.events[0].flags, c.flags);
            EXPECT_EQ(complaint, "");
        } else {
            EXPECT_TRUE(provider.events.empty());
            EXPECT_EQ(std::count(complaint.begin(), complaint.end(), '\n'), 1) << complaint;
            EXPECT_NE(complaint.find("HOSTLENS_TRACE"), std::string::npos) << complaint;
        }
        sim::DisableTraceProvider(kControlGuid);
    }
    EXPECT_TRUE(std::filesystem::exists(commaFile));  // the path ran to the end, comma and all

    // Set but empty: as if not set, without a complaint.
    TraceSetting empty("");
    TestProvider provider;
    testing::internal::CaptureStderr();
    ASSERT_EQ(provider.Register(), static_cast<ULONG>(ERROR_SUCCESS));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(provider.events.empty());
}

TEST_F(TraceTest, ResetEndsSessionsButKeepsProviders) {
    TestProvider provider;
    ASSERT_EQ(provider.Register(), static_cast<ULONG>(ERROR_SUCCESS));
    sim::EnableTraceProvider(kControlGuid, 3, 0x1);
    TRACEHANDLE logger = provider.Logger();
    sim::StartTraceCapture();
    ASSERT_EQ(TraceMessage(logger, kMessageFlags, &kMessageGuid, Number(1, 1, 1), nullptr),
              static_cast<ULONG>(ERROR_SUCCESS));

    sim::ResetMachine(DriveC());
    ASSERT_EQ(provider.events.size(), 2u);
    EXPECT_EQ(provider.events[1].code, WMI_DISABLE_EVENTS);
    EXPECT_TRUE(sim::IsTraceProviderRegistered(kControlGuid));
    EXPECT_TRUE(sim::TakeTraceCapture().empty());
    EXPECT_EQ(TraceMessage(logger, kMessageFlags, &kMessageGuid, Number(1, 1, 1), nullptr),
              static_cast<ULONG>(ERROR_INVALID_HANDLE));

    // Enabled again after the reset; the capture stays off until started again.
    sim::EnableTraceProvider(kControlGuid, 3, 0x1);
    ASSERT_EQ(provider.events.size(), 3u);
    EXPECT_EQ(TraceMessage(provider.Logger(), kMessageFlags, &kMessageGuid, Number(1, 1, 1), nullptr),
              static_cast<ULONG>(ERROR_SUCCESS));
    EXPECT_TRUE(sim::TakeTraceCapture().empty());
    sim::DisableTraceProvider(kControlGuid);
}

TEST_F(TraceTest, MessagesFromManyThreadsAreAllCaptured) {
    TestProvider provider;
    ASSERT_EQ(provider.Register(), static_cast<ULONG>(ERROR_SUCCESS));
    sim::EnableTraceProvider(kControlGuid, 5, 0x1);
    TRACEHANDLE logger = provider.Logger();
    sim::StartTraceCapture();
    constexpr int kThreads = 4;
    constexpr int kMessages = 250;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([logger, t] {
            for (int i = 0; i < kMessages; ++i)
                TraceMessage(logger, kMessageFlags, &kMessageGuid, Number(t, 1, 5), &i, sizeof i, nullptr);
        });
    }
    for (std::thread& thread : threads) thread.join();
    std::vector<sim::TracePoint> points = sim::TakeTraceCapture();
    ASSERT_EQ(points.size(), static_cast<std::size_t>(kThreads * kMessages));
    for (int t = 0; t < kThreads; ++t) {
        // Each thread's messages arrive complete and in its order.
        int next = 0;
        for (const sim::TracePoint& point : points) {
            if (point.number != Number(t, 1, 5)) continue;
            EXPECT_EQ(point.args.at(0), Bytes(next));
            ++next;
        }
        EXPECT_EQ(next, kMessages);
    }
    sim::DisableTraceProvider(kControlGuid);
}

TEST_F(TraceTest, FailuresCanBeInjected) {
    TestProvider provider;
    sim::FailCall("RegisterTraceGuidsW", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(provider.Register(), static_cast<ULONG>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_FALSE(sim::IsTraceProviderRegistered(kControlGuid));
    ASSERT_EQ(provider.Register(), static_cast<ULONG>(ERROR_SUCCESS));

    sim::EnableTraceProvider(kControlGuid, 5, 0x1);
    TRACEHANDLE logger = provider.Logger();
    sim::StartTraceCapture();
    const USHORT number = Number(7, 1, 2);
    Event event = MakeEvent(&kMessageGuid, &number, {});
    for (const char* function : {"TraceMessage", "TraceEvent"}) {
        SCOPED_TRACE(function);
        auto emit = [&] {
            return std::string(function) == "TraceMessage"
                       ? TraceMessage(logger, kMessageFlags, &kMessageGuid, number, nullptr)
                       : TraceEvent(logger, &event.header);
        };
        sim::FailCall(function, 1, ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(emit(), static_cast<ULONG>(ERROR_NOT_ENOUGH_MEMORY));
        EXPECT_TRUE(sim::TakeTraceCapture().empty());
        EXPECT_EQ(emit(), static_cast<ULONG>(ERROR_SUCCESS));
        EXPECT_EQ(sim::TakeTraceCapture().size(), 1u);
    }

    sim::FailCall("UnregisterTraceGuids", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(provider.Unregister(), static_cast<ULONG>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(sim::IsTraceProviderRegistered(kControlGuid));
    sim::DisableTraceProvider(kControlGuid);
}

}  // namespace
}  // namespace hostlens::test
