// The trace channel as a trace session sees it: which points fire at which enable
// level and flags, and what the fallback emitter sends when TraceMessage is missing.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "frame/loader.h"
#include "frame/logbridge_loader.h"
#include "frame/trace.h"
#include "support/machine_test.h"

namespace hostlens::test {
namespace {

// {2DAFC98A-3FB6-4126-B13F-630081154973}
constexpr GUID kControlGuid = {0x2DAFC98A, 0x3FB6, 0x4126, {0xB1, 0x3F, 0x63, 0x00, 0x81, 0x15, 0x49, 0x73}};

class TraceTest : public MachineTest {
protected:
    void TearDown() override {
        sim::DisableTraceProvider(kControlGuid);
        MachineTest::TearDown();
    }
};

TEST_F(TraceTest, ProviderIsRegisteredWhenTheDllIsLoaded) {
    EXPECT_TRUE(sim::IsTraceProviderRegistered(kControlGuid));
    EXPECT_FALSE(trace::IsEnabled(trace::kGeneral, trace::kCritical))
        << "nothing fires until a session enables it";
}

TEST_F(TraceTest, EnableTestFollowsLevelAndFlags) {
    struct Case {
        std::uint8_t sessionLevel;
        std::uint32_t sessionFlags;
        ULONG pointFlag;
        UCHAR pointLevel;
        bool fires;
    };
    const Case cases[] = {
        {1, 0xF, trace::kGeneral, trace::kError, false},  // error point, session at critical only
        {2, 0xF, trace::kGeneral, trace::kError, true},
        {5, 0xF, trace::kGeneral, trace::kError, true},
        {2, 0xF, trace::kGeneral, trace::kWarning, false},
        {5, 0x1, trace::kLoader, trace::kError, false},  // loader point, session with flag 1 only
        {5, 0x4, trace::kLoader, trace::kError, true},
        {5, 0x4, trace::kGeneral, trace::kError, false},
        {5, 0x0, trace::kGeneral, trace::kCritical, false},
    };
    for (const Case& c : cases) {
        sim::EnableTraceProvider(kControlGuid, c.sessionLevel, c.sessionFlags);
        EXPECT_EQ(trace::IsEnabled(c.pointFlag, c.pointLevel), c.fires)
            << "session level " << int(c.sessionLevel) << " flags " << c.sessionFlags << ", point flag "
            << c.pointFlag << " level " << int(c.pointLevel);
    }
    sim::DisableTraceProvider(kControlGuid);
    EXPECT_FALSE(trace::IsEnabled(trace::kGeneral, trace::kCritical));
}

TEST_F(TraceTest, FailuresReachTheSessionWithLevelFlagAndArguments) {
    sim::EnableTraceProvider(kControlGuid, 2, 0x1);
    sim::StartTraceCapture();
    CLoader loader{W("C:\\Nowhere")};
    EXPECT_FALSE(loader.Load(W("Missing.dll"), WString()));
    auto points = sim::TakeTraceCapture();
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].level, trace::kError);
    EXPECT_EQ(points[0].flag, trace::kGeneral);
    ASSERT_EQ(points[0].args.size(), 2u);
    const std::u16string path = u"C:\\Nowhere\\Missing.dll";
    EXPECT_EQ(points[0].args[0],
              std::string(reinterpret_cast<const char*>(path.c_str()), (path.size() + 1) * 2))
        << "a wide text travels with its terminating NUL";
    DWORD error = ERROR_MOD_NOT_FOUND;
    EXPECT_EQ(points[0].args[1], std::string(reinterpret_cast<const char*>(&error), sizeof(error)));

    // The logging-library loader traces under flag 4: silent in a flag-1 session,
    // where only the failed load of the library itself (a CLoader point) shows.
    auto flags = [](const std::vector<sim::TracePoint>& captured) {
        std::set<std::uint32_t> seen;
        for (const auto& point : captured) seen.insert(point.flag);
        return seen;
    };
    { CLogbridgeLoader logging; }
    EXPECT_EQ(flags(sim::TakeTraceCapture()), std::set<std::uint32_t>{trace::kGeneral});
    sim::EnableTraceProvider(kControlGuid, 2, 0x4);
    sim::StartTraceCapture();
    { CLogbridgeLoader logging; }
    EXPECT_EQ(flags(sim::TakeTraceCapture()), std::set<std::uint32_t>{trace::kLoader});
}

TEST_F(TraceTest, TextArgumentsMarkNullAndEmpty) {
    struct Case {
        trace::Arg arg;
        std::u16string expected;
    };
    const Case cases[] = {
        {trace::WideText(nullptr), std::u16string(u"NULL", 5)},
        {trace::WideText(u""), std::u16string(u"<NULL>", 7)},
        {trace::WideText(u"abc"), std::u16string(u"abc", 4)},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.arg.size, c.expected.size() * 2);
        EXPECT_EQ(std::u16string(static_cast<const char16_t*>(c.arg.data), c.expected.size()), c.expected);
    }
    EXPECT_EQ(trace::NarrowText(nullptr).size, 5u);
    EXPECT_EQ(std::string(static_cast<const char*>(trace::NarrowText("").data)), "<NULL>");
}

// With TraceMessage missing from the platform, the library's own emitter sends one
// TraceEvent record: the message number first, then the arguments.
TEST_F(TraceTest, FallbackEmitterSendsAtMost8192BytesOfArguments) {
    sim::HideSystemExport("advapi32", "TraceMessage");
    trace::Cleanup();
    trace::Initialize();
    sim::EnableTraceProvider(kControlGuid, 5, 0xF);
    sim::StartTraceCapture();

    struct Case {
        std::size_t argumentCount;
        std::size_t bytesEach;
        bool sent;
    };
    const Case cases[] = {
        {1, 8192, true},                  // exactly the limit
        {1, 8193, false},                 // one byte over: dropped
        {2, 4097, false}, {7, 16, true},  // seven travel as separate fields
        {9, 16, true},                    // more are joined into one field
        {16, 512, true},                  // 8192 in sixteen pieces
    };
    for (const Case& c : cases) {
        std::vector<std::string> args;
        for (std::size_t i = 0; i < c.argumentCount; ++i)
            args.emplace_back(c.bytesEach, static_cast<char>('a' + i));
        // Call through the resolved pointer with up to 16 (address, length) pairs.
        std::vector<const void*> p(16, nullptr);
        std::vector<std::size_t> n(16, 0);
        for (std::size_t i = 0; i < args.size(); ++i) {
            p[i] = args[i].data();
            n[i] = args[i].size();
        }
        GUID guid = trace::ModuleGuid("tests/trace");
        TRACEHANDLE logger = static_cast<trace::ControlBlock*>(trace::g_controlHead)->loggerHandle;
        trace::g_traceMessage(logger, trace::kMessageFlags, &guid, 77, p[0], n[0], p[1], n[1], p[2], n[2],
                              p[3], n[3], p[4], n[4], p[5], n[5], p[6], n[6], p[7], n[7], p[8], n[8], p[9],
                              n[9], p[10], n[10], p[11], n[11], p[12], n[12], p[13], n[13], p[14], n[14],
                              p[15], n[15], nullptr);
        auto points = sim::TakeTraceCapture();
        ASSERT_EQ(points.size(), c.sent ? 1u : 0u) << c.argumentCount << " x " << c.bytesEach;
        if (!c.sent) continue;
        EXPECT_TRUE(points[0].viaTraceEvent);
        EXPECT_EQ(points[0].number, 77);
        std::string joined;
        for (const auto& arg : points[0].args) joined += arg;
        std::string expected;
        for (const auto& arg : args) expected += arg;
        EXPECT_EQ(joined, expected);
        EXPECT_EQ(points[0].args.size(), c.argumentCount <= 7 ? c.argumentCount : 1u);
    }
    sim::DisableTraceProvider(kControlGuid);
    trace::Cleanup();
    sim::ResetMachine(DriveC());
    trace::Initialize();
}

}  // namespace
}  // namespace hostlens::test
