// A module whose DLL entry point refuses to attach, loaded at run time by the module
// loader's tests. Each call of its entry point is appended to the environment variable
// TEST_MODULE_C_CALLS, which outlives the module.
#include <cstdlib>
#include <string>

#include "platform/win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    const char* before = std::getenv("TEST_MODULE_C_CALLS");
    std::string calls = before != nullptr ? before : "";
    calls += reason == DLL_PROCESS_ATTACH ? "attach;" : reason == DLL_PROCESS_DETACH ? "detach;" : "other;";
    setenv("TEST_MODULE_C_CALLS", calls.c_str(), 1);
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
}

extern "C" __attribute__((visibility("default"))) int TestModuleC() {
    return 3;
}
