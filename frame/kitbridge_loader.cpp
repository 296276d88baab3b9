#include "frame/kitbridge_loader.h"

#include <new>

#include "frame/install_path.h"
#include "frame/trace.h"

HL_TRACE_MODULE("frame/kitbridge_loader")

namespace {
// Lives until the process ends; never destroyed, so that a library still in use
// during static teardown stays loaded.
CKitbridgeLoader* g_kitbridge = nullptr;
}  // namespace

CKitbridgeLoader::CKitbridgeLoader() : loader_(WString()) {
    // A failed load shows later as a missing function.
    loader_.Load(W("Kitbridge.dll"), GetUtilsFolder());
}

CKitbridgeLoader::~CKitbridgeLoader() {
    loader_.Unload();
}

IKit* AcquireKit() {
    if (g_kitbridge == nullptr) {
        g_kitbridge = new (std::nothrow) CKitbridgeLoader();
        if (g_kitbridge == nullptr) {
            TRACE_ERROR();
            return nullptr;
        }
    }
    IKit* kit = nullptr;
    if (auto getKit = g_kitbridge->Loader().GetFunctionAs<GetIKitFn>("GetIKit")) kit = getKit();
    if (kit == nullptr) TRACE_ERROR();
    return kit;
}

void ReleaseKit(IKit** kit) {
    if (kit == nullptr || *kit == nullptr || g_kitbridge == nullptr) return;
    if (auto freeKit = g_kitbridge->Loader().GetFunctionAs<FreeIKitFn>("FreeIKit")) freeKit(kit);
}

bool KitbridgeLoaderExists() {
    return g_kitbridge != nullptr;
}

void DestroyKitbridgeLoader() {
    delete g_kitbridge;
    g_kitbridge = nullptr;
}
