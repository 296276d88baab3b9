// For test programs that link the library's code directly instead of loading the
// DLL: run its entry point around the whole program, as the loader would.
#include <gtest/gtest.h>

#include "platform/win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

class DllAttach : public ::testing::Environment {
public:
    void SetUp() override { DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr); }
    void TearDown() override { DllMain(nullptr, DLL_PROCESS_DETACH, nullptr); }
};

[[maybe_unused]] ::testing::Environment* const g_attach = ::testing::AddGlobalTestEnvironment(new DllAttach);

}  // namespace
