// The DLL entry point: loading registers the trace provider and unloading
// unregisters it. Nothing else happens here: service objects, the logger and the
// logging library are released only through the Free exports.
#include "frame/trace.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            hostlens::trace::Initialize();
            DisableThreadLibraryCalls(instance);
            break;
        case DLL_PROCESS_DETACH:
            hostlens::trace::Cleanup();
            break;
        default:
            break;
    }
    return TRUE;
}
