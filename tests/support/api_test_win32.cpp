// The Windows half of ApiTest: the real system needs no setting up, and offers no
// count of what a test left open.
#include "api_test.h"

#include <vector>

namespace hostlens::test {

struct ApiTest::Platform {};

ApiTest::ApiTest() : platform_(std::make_unique<Platform>()) {}
ApiTest::~ApiTest() = default;

void ApiTest::SetUpPlatform(const std::filesystem::path& root) {
    scratchHost_ = root;
    std::u16string path = root.u16string();
    scratch_.assign(path.begin(), path.end());
}

void ApiTest::TearDownPlatform() {}

bool OnWine() {
    // Wine's ntdll exports its version; Windows' does not.
    HMODULE ntdll = GetModuleHandleW(W("ntdll.dll"));
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::filesystem::path ProgramFolder() {
    std::vector<WCHAR> name(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        // A full buffer may have cut the name short: ask again with a larger one.
        if (length < name.size())
            return std::filesystem::path(name.data(), name.data() + length).parent_path();
        name.resize(name.size() * 2);
    }
}

}  // namespace hostlens::test
