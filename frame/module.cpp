#include "frame/module.h"

#include <new>

#include "frame/logbridge_loader.h"
#include "frame/trace.h"

HL_TRACE_MODULE("frame/module")

namespace hostlens::module {

Mutex g_moduleMutex;

namespace {
CLogbridgeLoader* g_logbridgeLoader = nullptr;
ILogbridge* g_logger = nullptr;
DWORD g_liveUsers = 0;
}  // namespace

bool InitModule() {
    if (g_logbridgeLoader == nullptr) {
        g_logbridgeLoader = new (std::nothrow) CLogbridgeLoader();
        if (g_logbridgeLoader == nullptr) {
            TRACE_ERROR();
        } else {
            g_logger = g_logbridgeLoader->GetLogger();
            if (g_logger == nullptr) {
                TRACE_ERROR();
                delete g_logbridgeLoader;
                g_logbridgeLoader = nullptr;
            }
        }
    }
    if (g_logger == nullptr) return false;
    ++g_liveUsers;
    return true;
}

void DeinitModule(bool counted) {
    // An object made while the logging library was missing was never counted: its
    // release must not take the logger away from the counted ones.
    if (g_logger == nullptr || !counted) return;
    if (--g_liveUsers != 0) return;
    if (g_logbridgeLoader != nullptr) {
        g_logbridgeLoader->FreeLogger(&g_logger);
        delete g_logbridgeLoader;
        g_logbridgeLoader = nullptr;
    }
    g_logger = nullptr;
}

ILogbridge* Logger() {
    return g_logger;
}

DWORD LiveUsers() {
    return g_liveUsers;
}

}  // namespace hostlens::module
