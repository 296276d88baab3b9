// The test logger, loaded the way the service library loads the agent's logging
// library: from the Utils folder of the installation, by LoadLibraryW, its exports
// bound by GetProcAddress. What it captured is read back through TestLogger.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "hostlens/Logbridge.h"
#include "support/api_test.h"
#include "support/test_logger.h"

namespace {

using hostlens::test::LoggedMessage;
using hostlens::test::LoggerCounts;
using hostlens::test::TestLogger;

template <typename Fn>
Fn Bind(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class TestLoggerCapture : public hostlens::test::ApiTest {
protected:
    void SetUp() override {
        ApiTest::SetUp();
        TestLogger::Install(ScratchHost(), "Agent");
        library_ = Scratch() + W("\\Agent\\Utils\\Logbridge.dll");
    }
    const WCHAR* Library() const { return library_.c_str(); }

private:
    WString library_;
};

TEST_F(TestLoggerCapture, CapturesLevelAndExpandedText) {
    EXPECT_TRUE(TestLogger::Take().empty()) << "not loaded yet";
    EXPECT_EQ(TestLogger::Counts(), LoggerCounts{});

    HMODULE module = LoadLibraryW(Library());
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    auto get = Bind<GetILogbridgeFn>(module, "GetILogbridge");
    auto release = Bind<FreeILogbridgeFn>(module, "FreeILogbridge");
    ASSERT_NE(get, nullptr);
    ASSERT_NE(release, nullptr);

    ILogbridge* logger = get();
    ASSERT_NE(logger, nullptr);
    logger->Log(LOG_LEVEL_WARNING, "%ws: %I64u bytes free", W("C:\\"), 18446744073709551615ull);
    logger->Log(LOG_LEVEL_ERROR, "RegQueryValueExW(%ws) failed: %lu", W("Install\u00E9"), 4294967295u);
    logger->Log(LOG_LEVEL_EXCEPTION, "%q %d%%", 5);
    logger->Log(7, "");
    release(&logger);
    EXPECT_EQ(logger, nullptr);
    release(&logger);  // already released: not counted

    EXPECT_EQ(TestLogger::Take(),
              (std::vector<LoggedMessage>{
                  {LOG_LEVEL_WARNING, "C:\\: 18446744073709551615 bytes free"},
                  {LOG_LEVEL_ERROR, "RegQueryValueExW(Install\xC3\xA9) failed: 4294967295"},
                  {LOG_LEVEL_EXCEPTION, "%q 5%"},
                  {7, ""},
              }));
    EXPECT_TRUE(TestLogger::Take().empty()) << "Take clears what it hands out";
    EXPECT_EQ(TestLogger::Counts(), (LoggerCounts{1, 1}));

    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_TRUE(TestLogger::Take().empty()) << "unloaded";
    EXPECT_EQ(TestLogger::Counts(), LoggerCounts{});
}

TEST_F(TestLoggerCapture, ConcurrentCallersAllCaptured) {
    HMODULE module = LoadLibraryW(Library());
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    auto get = Bind<GetILogbridgeFn>(module, "GetILogbridge");
    auto release = Bind<FreeILogbridgeFn>(module, "FreeILogbridge");
    ASSERT_NE(get, nullptr);
    ASSERT_NE(release, nullptr);

    constexpr int kThreads = 6;
    constexpr int kMessages = 100;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([=] {
            ILogbridge* logger = get();
            for (int n = 0; n < kMessages; ++n) logger->Log(LOG_LEVEL_ERROR, "%d/%d", t, n);
            release(&logger);
        });
    }
    for (std::thread& thread : threads) thread.join();

    std::vector<LoggedMessage> messages = TestLogger::Take();
    ASSERT_EQ(messages.size(), static_cast<std::size_t>(kThreads * kMessages));
    // Each thread's messages arrive whole and in the order it logged them.
    std::vector<int> next(kThreads, 0);
    for (const LoggedMessage& message : messages) {
        int t = message.text[0] - '0';
        ASSERT_TRUE(t >= 0 && t < kThreads) << message.text;
        EXPECT_EQ(message.text, std::to_string(t) + "/" + std::to_string(next[t]++));
        EXPECT_EQ(message.level, LOG_LEVEL_ERROR);
    }
    EXPECT_EQ(TestLogger::Counts(), (LoggerCounts{kThreads, kThreads}));
    EXPECT_TRUE(FreeLibrary(module));
}

}  // namespace
