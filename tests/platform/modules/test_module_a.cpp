// A module with a DLL entry point, loaded at run time by the module loader's tests:
// it counts its process attach, reports the instance it was given and whether the
// loader could be used from inside the entry point, and signals its detach to a
// counter of the test (its own data is gone once it is unloaded).
#include "platform/win32.h"

#define TEST_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
long g_attaches = 0;
HINSTANCE g_instance = nullptr;
bool g_entryCallsWorked = false;
long* g_detachCounter = nullptr;
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        ++g_attaches;
        g_instance = instance;
        // What the service library does on attach: the loader is re-entered while
        // it is loading this module.
        bool disabled = DisableThreadLibraryCalls(instance) != FALSE;
        HMODULE advapi = LoadLibraryW(W("advapi32"));
        bool found = advapi != nullptr && GetProcAddress(advapi, "TraceMessage") != nullptr;
        bool freed = advapi != nullptr && FreeLibrary(advapi) != FALSE;
        g_entryCallsWorked = disabled && found && freed;
    } else if (reason == DLL_PROCESS_DETACH && g_detachCounter != nullptr) {
        ++*g_detachCounter;
    }
    return TRUE;
}

TEST_MODULE_EXPORT long TestModuleAttaches() {
    return g_attaches;
}

TEST_MODULE_EXPORT HINSTANCE TestModuleInstance() {
    return g_instance;
}

TEST_MODULE_EXPORT BOOL TestModuleEntryCallsWorked() {
    return g_entryCallsWorked ? TRUE : FALSE;
}

TEST_MODULE_EXPORT void TestModuleCountDetach(long* counter) {
    g_detachCounter = counter;
}
