// What tests ask of the emulated WMI service beyond the repository: classes whose
// queries fail, and a log of the queries run.
#pragma once

#include <optional>
#include <string_view>

#include "platform/posix/win32_types.h"

namespace hostlens::sim::wmi {

// The error a query over `className` must fail with, if a test asked for one.
std::optional<HRESULT> QueryFailureFor(std::u16string_view className);
// Records one ExecQuery while the log is on.
void LogQuery(std::u16string_view ns, std::u16string_view wql, HRESULT result);

}  // namespace hostlens::sim::wmi
