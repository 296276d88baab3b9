// Lays out the agent's installation on the test machine: the registry value that
// names its folder and, when asked, the test logger as its logging library.
#pragma once

#include <filesystem>

#include "platform/win32.h"

namespace hostlens::test {

// The folder the tests install the agent into.
inline const WCHAR kAgentFolder[] = W("C:\\Program Files (x86)\\Orvix Security\\Nuvex Agent");

// Writes HKLM\SOFTWARE\Orvix Security\SetupEx\Nuvex Agent "Path" (through the
// process's own registry view, as the agent's installer would).
void WriteInstallPath(const WString& path);
void DeleteInstallPath();

// Copies the test logger into <driveC>/<agent folder>/Utils as the logging library.
void InstallTestLogger(const std::filesystem::path& driveC);

}  // namespace hostlens::test
