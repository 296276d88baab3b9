// The edition code the agent maps to an edition's name: from the version code, the
// product type GetProductInfo gave and the architecture, and for some versions the
// suites, the server level and a few registry keys that this asks for itself.
#pragma once

#include "platform/win32.h"

namespace hostlens::os {

struct EditionFacts {
    DWORD versionCode = 0;
    DWORD productType = 0;
    DWORD architecture = 0;  // as the record has it: 1 x86, 2 64-bit, 3 ARM64
    bool isServerCore = false;
    bool isPersonal = false;
    bool isStarter = false;
    bool isMediaCenter = false;
};

DWORD EditionCode(const EditionFacts& facts);

}  // namespace hostlens::os
