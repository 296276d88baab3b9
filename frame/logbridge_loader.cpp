#include "frame/logbridge_loader.h"

#include <new>

#include "frame/install_path.h"
#include "frame/loader.h"
#include "frame/lock.h"
#include "frame/trace.h"

HL_TRACE_MODULE("frame/logbridge_loader")

#define TRACE_LOADER_ERROR(...) \
    HL_TRACE(::hostlens::trace::kLoader, ::hostlens::trace::kError __VA_OPT__(, ) __VA_ARGS__)

namespace {
hostlens::Mutex g_loaderLock;
CLoader* g_loader = nullptr;
DWORD g_loaderUsers = 0;
}  // namespace

CLogbridgeLoader::CLogbridgeLoader() {
    hostlens::ScopedLock lock(g_loaderLock);
    if (g_loader != nullptr) {
        ++g_loaderUsers;
        return;
    }
    WString folder = GetUtilsFolder();
    g_loader = new (std::nothrow) CLoader(folder);
    if (g_loader == nullptr) {
        TRACE_LOADER_ERROR();
        return;
    }
    // An empty folder argument keeps the folder given to the constructor.
    if (!g_loader->Load(W("Logbridge.dll"), WString())) {
        TRACE_LOADER_ERROR(folder);
        delete g_loader;
        g_loader = nullptr;
        return;
    }
    ++g_loaderUsers;
}

CLogbridgeLoader::~CLogbridgeLoader() {
    hostlens::ScopedLock lock(g_loaderLock);
    if (g_loader == nullptr) return;
    if (--g_loaderUsers == 0) {
        g_loader->Unload();
        delete g_loader;
        g_loader = nullptr;
    }
}

ILogbridge* CLogbridgeLoader::GetLogger() {
    hostlens::ScopedLock lock(g_loaderLock);
    if (g_loader == nullptr) {
        TRACE_LOADER_ERROR();
        return nullptr;
    }
    auto getLogger = g_loader->GetFunctionAs<GetILogbridgeFn>("GetILogbridge");
    if (getLogger == nullptr) {
        TRACE_LOADER_ERROR();
        return nullptr;
    }
    ILogbridge* logger = getLogger();
    if (logger == nullptr) TRACE_LOADER_ERROR();
    return logger;
}

void CLogbridgeLoader::FreeLogger(ILogbridge** logger) {
    hostlens::ScopedLock lock(g_loaderLock);
    if (g_loader == nullptr) {
        TRACE_LOADER_ERROR();
        return;
    }
    auto freeLogger = g_loader->GetFunctionAs<FreeILogbridgeFn>("FreeILogbridge");
    if (freeLogger != nullptr) freeLogger(logger);
}
