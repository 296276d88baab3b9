// A WMI manager that a service makes for one call and releases on every path.
#pragma once

#include <memory>
#include <new>

#include "wmi/wmi_mng.h"

namespace hostlens {

struct WmiMngRelease {
    void operator()(CWmiMng* manager) const { static_cast<IRefCounter*>(manager)->Release(); }
};
using WmiMngOwner = std::unique_ptr<CWmiMng, WmiMngRelease>;

// Null when the manager cannot be allocated.
inline WmiMngOwner MakeWmiMng(ILogbridge* logger) {
    return WmiMngOwner(new (std::nothrow) CWmiMng(logger));
}

}  // namespace hostlens
