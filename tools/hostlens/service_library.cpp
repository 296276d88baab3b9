#include "tools/hostlens/service_library.h"

#include "tools/hostlens/result_names.h"

namespace hostlens::cli {

namespace {

// A looked-up address as the function type the export is known by, through the
// generic function pointer type that every function pointer converts to.
template <class Function>
bool BindExport(HMODULE module, const char* name, Function& function, std::string& error) {
    FARPROC address = GetProcAddress(module, name);
    if (address == nullptr) {
        error =
            std::string(ServiceLibrary::kName) + " has no export " + name + ": " + ResultText(GetLastError());
        return false;
    }
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
    return true;
}

}  // namespace

std::unique_ptr<ServiceLibrary> ServiceLibrary::Load(std::string& error) {
    HMODULE module = LoadLibraryW(W("HostlensService.dll"));
    if (module == nullptr) {
        error = std::string("cannot load ") + kName + ": " + ResultText(GetLastError());
        return nullptr;
    }
    std::unique_ptr<ServiceLibrary> library(new ServiceLibrary(module));
    if (!library->Bind(error)) return nullptr;
    return library;
}

ServiceLibrary::~ServiceLibrary() {
    FreeLibrary(module_);
}

bool ServiceLibrary::Bind(std::string& error) {
#define HOSTLENS_BIND(Name)                                          \
    BindExport(module_, "GetI" #Name, exports_.GetI##Name, error) && \
        BindExport(module_, "FreeI" #Name, exports_.FreeI##Name, error)
    return HOSTLENS_BIND(WmiMng) && HOSTLENS_BIND(ProxyInfo) && HOSTLENS_BIND(Location) &&
           HOSTLENS_BIND(Battery) && HOSTLENS_BIND(Software) && HOSTLENS_BIND(Hardware) &&
           HOSTLENS_BIND(ActiveDirectory) && HOSTLENS_BIND(Exchange) && HOSTLENS_BIND(System) &&
           HOSTLENS_BIND(AutomaticUpdates);
#undef HOSTLENS_BIND
}

}  // namespace hostlens::cli
