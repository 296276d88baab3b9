// The agent's logging library: one logger per process, handed out by GetILogbridge
// and released by FreeILogbridge, writing one line per message to the file that
// HOSTLENS_LOG_FILE names, or else to standard error.
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "exports.h"
#include "format.h"
#include "log_line.h"

namespace hostlens::logbridge {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Held across the whole write, so that lines from concurrent callers never mix.
std::mutex g_writeLock;

// The file is opened per message: the destination is read when the message is
// written, and a log file removed or rotated meanwhile is simply created again.
void Write(const std::string& line) {
    std::lock_guard lock(g_writeLock);
    const char* path = std::getenv("HOSTLENS_LOG_FILE");
    if (path != nullptr && *path != '\0') {
        std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "ab"));
        if (file && std::fwrite(line.data(), 1, line.size(), file.get()) == line.size() &&
            std::fflush(file.get()) == 0) {
            return;
        }
        // A log file that cannot be written must not swallow the message.
    }
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

class CLogbridge final : public ILogbridge {
public:
    void ReservedSlot0() override {}
    int Log(int level, const char* format, ...) override {
        if (format == nullptr) return -1;
        // Nothing may be thrown into the caller, which is another module.
        try {
            va_list args;
            va_start(args, format);
            std::string text = Expand(format, args);
            va_end(args);
            Write(LogLine(std::chrono::system_clock::now(), level, text));
            return static_cast<int>(text.size());
        } catch (...) {
            return -1;
        }
    }
};

std::mutex g_instanceLock;
CLogbridge* g_instance = nullptr;
long g_references = 0;

}  // namespace
}  // namespace hostlens::logbridge

using namespace hostlens::logbridge;

ILogbridge* GetILogbridge() {
    std::lock_guard lock(g_instanceLock);
    if (g_instance == nullptr) {
        g_instance = new (std::nothrow) CLogbridge;
        if (g_instance == nullptr) return nullptr;
    }
    ++g_references;
    return g_instance;
}

void FreeILogbridge(ILogbridge** logger) {
    if (logger == nullptr || *logger == nullptr) return;
    {
        std::lock_guard lock(g_instanceLock);
        if (*logger == g_instance && --g_references == 0) {
            delete g_instance;
            g_instance = nullptr;
        }
    }
    *logger = nullptr;
}
