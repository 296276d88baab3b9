#pragma once

#include "platform/win32.h"

// The agent's installation folder, from the registry (the 32-bit view in the agent's
// 32-bit process). False, with `path` unchanged, when the key or value is missing.
bool GetInstallPath(WString& path);

// The agent's "Utils" folder, where its sibling libraries lie: the installation
// folder, a backslash, "Utils" and a backslash; empty when the installation folder is
// not found, so that a library is then looked for by bare name.
WString GetUtilsFolder();
