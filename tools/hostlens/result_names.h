// Result codes as a person reads them: the services answer Win32 error codes and
// HRESULTs (the WMI manager passes WMI's through), which the output shows by name.
#pragma once

#include <cstdint>
#include <string>

namespace hostlens::cli {

// `code` by its name in the Windows headers and its number: "WBEM_E_INVALID_QUERY
// (0x80041017)", "HRESULT_FROM_WIN32(ERROR_NOT_FOUND) (0x80070490)",
// "ERROR_MORE_DATA (234)"; the number alone when the name is not known here. A code
// above 0xFFFF is an HRESULT, any other a Win32 error code.
std::string ResultText(std::uint32_t code);

}  // namespace hostlens::cli
