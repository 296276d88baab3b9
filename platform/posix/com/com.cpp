// COM apartments per thread and object creation for the classes the layer provides.
#include <map>
#include <mutex>
#include <vector>

#include "platform/posix/com/com_object.h"
#include "platform/posix/machine/machine.h"
#include "platform/posix/com/win32_com.h"

HOSTLENS_WIN32_API const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace hostlens::sim::detail {
namespace {

enum class Apartment { None, MultiThreaded, SingleThreaded };

struct ThreadCom {
    Apartment apartment = Apartment::None;
    unsigned initCount = 0;
};
thread_local ThreadCom t_com;

struct Classes {
    std::mutex mutex;
    std::vector<std::pair<CLSID, ClassFactory>> factories;
};

Classes& TheClasses() {
    static auto* classes = new Classes;
    return *classes;
}

}  // namespace

void RegisterComClass(const CLSID& clsid, ClassFactory factory) {
    std::lock_guard lock(TheClasses().mutex);
    for (auto& entry : TheClasses().factories) {
        if (entry.first == clsid) {
            entry.second = std::move(factory);
            return;
        }
    }
    TheClasses().factories.emplace_back(clsid, std::move(factory));
}

}  // namespace hostlens::sim::detail

using namespace hostlens::sim::detail;

HOSTLENS_WIN32_API HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD coInit) {
    if (auto error = Fault("CoInitializeEx")) return static_cast<HRESULT>(*error);
    if (reserved != nullptr) return E_INVALIDARG;
    Apartment wanted =
        (coInit & COINIT_APARTMENTTHREADED) != 0 ? Apartment::SingleThreaded : Apartment::MultiThreaded;
    if (t_com.apartment == Apartment::None) {
        t_com.apartment = wanted;
        t_com.initCount = 1;
        return S_OK;
    }
    if (t_com.apartment != wanted) return RPC_E_CHANGED_MODE;
    // Already in this apartment: succeeds with S_FALSE and still owes a CoUninitialize.
    ++t_com.initCount;
    return S_FALSE;
}

HOSTLENS_WIN32_API void WINAPI CoUninitialize(void) {
    Fault("CoUninitialize");
    if (t_com.initCount == 0) return;
    if (--t_com.initCount == 0) t_com.apartment = Apartment::None;
}

HOSTLENS_WIN32_API HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                                                   LPVOID* object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (auto error = Fault("CoCreateInstance")) return static_cast<HRESULT>(*error);
    if (t_com.apartment == Apartment::None) return CO_E_NOTINITIALIZED;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if ((context & (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER)) == 0) return REGDB_E_CLASSNOTREG;
    ClassFactory factory;
    {
        std::lock_guard lock(TheClasses().mutex);
        for (auto& entry : TheClasses().factories)
            if (entry.first == clsid) factory = entry.second;
    }
    if (!factory) return REGDB_E_CLASSNOTREG;
    return factory(iid, object);
}

HOSTLENS_WIN32_API HRESULT WINAPI CoSetProxyBlanket(IUnknown* proxy, DWORD /*authnSvc*/, DWORD /*authzSvc*/,
                                                    WCHAR* /*serverPrincName*/, DWORD /*authnLevel*/,
                                                    DWORD /*impLevel*/, RPC_AUTH_IDENTITY_HANDLE /*authInfo*/,
                                                    DWORD /*capabilities*/) {
    if (auto error = Fault("CoSetProxyBlanket")) return static_cast<HRESULT>(*error);
    if (proxy == nullptr) return E_INVALIDARG;
    // The simulated WMI objects stand for proxies to the WMI service: the blanket is
    // accepted and changes nothing.
    return S_OK;
}
