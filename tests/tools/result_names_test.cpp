// Result codes by name, as the command line prints a failure.
#include <gtest/gtest.h>

#include "tools/hostlens/result_names.h"

namespace {

using hostlens::cli::ResultText;

TEST(ResultText, NamesWmiComAndWin32CodesAndShowsOthersAsNumbers) {
    struct Case {
        std::uint32_t code;
        const char* text;
    };
    const Case cases[] = {
        {0x80041017, "WBEM_E_INVALID_QUERY (0x80041017)"},
        {0x80041001, "WBEM_E_FAILED (0x80041001)"},
        {0x8004108A, "WBEM_E_PROVIDER_DISABLED (0x8004108A)"},
        {0x00040005, "WBEM_S_NO_MORE_DATA (0x00040005)"},
        {0x80010106, "RPC_E_CHANGED_MODE (0x80010106)"},
        {0x8000FFFF, "E_UNEXPECTED (0x8000FFFF)"},
        {0x80070005, "E_ACCESSDENIED (0x80070005)"},
        {0x80070490, "HRESULT_FROM_WIN32(ERROR_NOT_FOUND) (0x80070490)"},
        {0x8007FFFF, "0x8007FFFF"},
        {0x80041099, "0x80041099"},
        {5, "ERROR_ACCESS_DENIED (5)"},
        {1114, "ERROR_DLL_INIT_FAILED (1114)"},
        {5023, "ERROR_INVALID_STATE (5023)"},
        {4321, "4321"},
        {0, "0"},
    };
    for (const Case& c : cases) EXPECT_EQ(ResultText(c.code), c.text) << std::hex << c.code;
}

}  // namespace
