#include "test_logger.h"

#include <new>

#include "api_test.h"
#include "platform/win32.h"
#include "test_logbridge.h"

namespace hostlens::test {
namespace {

template <typename Fn>
Fn BindLoaded(const char* name) {
    // GetModuleHandleW takes no reference: the test keeps the module loaded.
    HMODULE module = GetModuleHandleW(W("Logbridge.dll"));
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

void Collect(void* context, int level, const char* text, std::size_t length) {
    // The logger is another module: nothing may be thrown back into it.
    try {
        static_cast<std::vector<LoggedMessage>*>(context)->push_back({level, std::string(text, length)});
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace

void PrintTo(const LoggedMessage& message, std::ostream* out) {
    *out << "{" << message.level << ", \"" << message.text << "\"}";
}

void PrintTo(const LoggerCounts& counts, std::ostream* out) {
    *out << "{gets " << counts.gets << ", frees " << counts.frees << "}";
}

void TestLogger::Install(const std::filesystem::path& driveC, const std::filesystem::path& installFolder) {
    std::filesystem::path utils = driveC / installFolder / "Utils";
    std::filesystem::create_directories(utils);
    std::filesystem::path target = utils / HOSTLENS_LOGBRIDGE_FILE_NAME;
    // Replaced by a new file rather than overwritten: a copy still loaded from an
    // earlier install keeps its own image.
    std::filesystem::remove(target);
    std::filesystem::copy_file(ProgramFolder() / HOSTLENS_TEST_LOGBRIDGE_FILE_NAME, target);
}

std::vector<LoggedMessage> TestLogger::Take() {
    std::vector<LoggedMessage> messages;
    if (auto take = BindLoaded<TestLogbridgeTakeFn>("TestLogbridge_Take")) take(&Collect, &messages);
    return messages;
}

LoggerCounts TestLogger::Counts() {
    LoggerCounts counts;
    if (auto read = BindLoaded<TestLogbridgeCountsFn>("TestLogbridge_Counts"))
        read(&counts.gets, &counts.frees);
    return counts;
}

}  // namespace hostlens::test
