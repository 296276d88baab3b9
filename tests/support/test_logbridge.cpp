// A logging library for tests: it exports what the agent's logging library exports,
// and captures each message (level and expanded text) instead of writing it, for a
// test to take through TestLogbridge_Take. A test installs it where the service
// library looks for the agent's logging library.
#include <atomic>
#include <cstdarg>
#include <mutex>
#include <string>
#include <vector>

#include "siblings/logbridge/exports.h"
#include "siblings/logbridge/format.h"
#include "test_logbridge.h"

namespace {

struct Message {
    int level;
    std::string text;
};

std::mutex g_lock;
std::vector<Message> g_messages;
std::atomic<int> g_gets{0};
std::atomic<int> g_frees{0};

class CTestLogbridge final : public ILogbridge {
public:
    void ReservedSlot0() override {}
    int Log(int level, const char* format, ...) override {
        if (format == nullptr) return -1;
        try {
            va_list args;
            va_start(args, format);
            std::string text = hostlens::logbridge::Expand(format, args);
            va_end(args);
            int length = static_cast<int>(text.size());
            std::lock_guard lock(g_lock);
            g_messages.push_back({level, std::move(text)});
            return length;
        } catch (...) {
            return -1;
        }
    }
};

// One logger for the life of the module: a test that frees it too often still logs
// into a live object, and the counts tell what happened.
CTestLogbridge g_logger;

}  // namespace

ILogbridge* GetILogbridge() {
    ++g_gets;
    return &g_logger;
}

void FreeILogbridge(ILogbridge** logger) {
    if (logger == nullptr || *logger == nullptr) return;
    if (*logger == &g_logger) ++g_frees;
    *logger = nullptr;
}

LOGBRIDGE_EXPORT void TestLogbridge_Take(TestLogbridgeMessageFn onMessage, void* context) {
    std::vector<Message> taken;
    {
        std::lock_guard lock(g_lock);
        taken.swap(g_messages);
    }
    if (onMessage == nullptr) return;
    for (const Message& message : taken)
        onMessage(context, message.level, message.text.c_str(), message.text.size());
}

LOGBRIDGE_EXPORT void TestLogbridge_Counts(int* gets, int* frees) {
    if (gets != nullptr) *gets = g_gets.load();
    if (frees != nullptr) *frees = g_frees.load();
}
