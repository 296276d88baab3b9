#include "tools/hostlens/commands.h"

#include "os/operating_system.h"
#include "tools/hostlens/result_names.h"

#include "tools/hostlens/text.h"
#include "tools/hostlens/variant_json.h"

namespace hostlens::cli {

namespace {

// A service object from a Get export, given back through its Free export when the
// command is done with it.
template <class Interface>
class Service {
public:
    using FreeFunction = void(WINAPI*)(Interface**);
    Service(Interface* object, FreeFunction free) : object_(object), free_(free) {}
    ~Service() {
        if (object_ != nullptr) free_(&object_);
    }
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    explicit operator bool() const { return object_ != nullptr; }
    Interface* operator->() const { return object_; }

private:
    Interface* object_;
    FreeFunction free_;
};

Json NoObject(const char* getExport) {
    return Json{{"result", nullptr}, {"error", std::string(getExport) + " returned no object"}};
}

// A service that is not built yet answers ERROR_CALL_NOT_IMPLEMENTED and fills nothing:
// only its result is shown. Any other failure is also named, as "error".
bool Built(DWORD result) {
    return result != ERROR_CALL_NOT_IMPLEMENTED;
}

Json Result(DWORD result) {
    Json member{{"result", result}};
    if (result != ERROR_SUCCESS && Built(result)) member["error"] = ResultText(result);
    return member;
}

template <class Record>
Json Member(DWORD result, const char* typeName, const Record& record) {
    Json member = Result(result);
    if (Built(result)) member[typeName] = record;
    return member;
}

}  // namespace

Json OperatingSystem(const ServiceExports& /*exports*/) {
    COperatingSystem operatingSystem;
    return Json{{"OperatingSystemRecord", operatingSystem.CopyRecord()}};
}

Json Battery(const ServiceExports& exports) {
    Service<IBattery> battery(exports.GetIBattery(), exports.FreeIBattery);
    if (!battery) return NoObject("GetIBattery");
    SYSTEM_POWER_STATUS status{};
    DWORD result = battery->GetBatteryStatus(&status);
    return Member(result, "SYSTEM_POWER_STATUS", status);
}

Json Hardware(const ServiceExports& exports) {
    Service<IHardware> hardware(exports.GetIHardware(), exports.FreeIHardware);
    if (!hardware) return NoObject("GetIHardware");
    HardwareInfo info;
    DWORD result = hardware->GetHardwareInfo(info);
    return Member(result, "HardwareInfo", info);
}

Json Software(const ServiceExports& exports) {
    Service<ISoftware> software(exports.GetISoftware(), exports.FreeISoftware);
    if (!software) return NoObject("GetISoftware");
    std::vector<SoftwareEntry> entries;
    DWORD result = software->GetSoftware(entries);
    return Member(result, "SoftwareEntries", entries);
}

Json System(const ServiceExports& exports) {
    Service<ISystem> system(exports.GetISystem(), exports.FreeISystem);
    if (!system) return NoObject("GetISystem");
    SYSTEMTIME bootTime{};
    DWORD result = system->GetLastBootUpTime(&bootTime);
    return Member(result, "BootTime", bootTime);
}

Json Proxy(const ServiceExports& exports, DWORD maxAgeSeconds) {
    Service<IProxyInfo> proxy(exports.GetIProxyInfo(), exports.FreeIProxyInfo);
    if (!proxy) return NoObject("GetIProxyInfo");
    ProxySettings settings{};
    DWORD result = proxy->GetProxyInfo(&settings, maxAgeSeconds);
    return Member(result, "ProxySettings", settings);
}

Json ActiveDirectory(const ServiceExports& exports) {
    Service<IActiveDirectory> directory(exports.GetIActiveDirectory(), exports.FreeIActiveDirectory);
    if (!directory) return NoObject("GetIActiveDirectory");
    ActiveDirectoryInfo info;
    DWORD result = directory->GetActiveDirectoryInfo(info);
    return Member(result, "ActiveDirectoryInfo", info);
}

Json Exchange(const ServiceExports& exports) {
    Service<IExchange> exchange(exports.GetIExchange(), exports.FreeIExchange);
    if (!exchange) return NoObject("GetIExchange");
    ExchangeInfo info;
    DWORD result = exchange->GetExchangeInfo(info);
    return Member(result, "ExchangeInfo", info);
}

Json Location(const ServiceExports& exports) {
    Service<Hostlens::ILocation> location(exports.GetILocation(), exports.FreeILocation);
    if (!location) return NoObject("GetILocation");
    Hostlens::LocationInfo info;
    DWORD result = location->GetLocation(info);
    return Member(result, "LocationInfo", info);
}

Json Updates(const ServiceExports& exports, UpdatesOperation operation, LONG level) {
    Service<Hostlens::IAutomaticUpdates> updates(exports.GetIAutomaticUpdates(),
                                                 exports.FreeIAutomaticUpdates);
    if (!updates) return NoObject("GetIAutomaticUpdates");
    switch (operation) {
        case UpdatesOperation::Detect:
            return Json{{"operation", "detect"}, {"result", updates->DetectNow()}};
        case UpdatesOperation::Set:
            return Json{{"operation", "set"}, {"result", updates->SetNotificationLevel(level)}};
        case UpdatesOperation::Get:
            break;
    }
    LONG current = 0;
    bool result = updates->GetNotificationLevel(current);
    Json member{{"operation", "get"}, {"result", result}};
    // The level is written only on success.
    if (result) member["NotificationLevel"] = current;
    return member;
}

Json Wmi(const ServiceExports& exports, const std::string& wmiNamespace, const std::string& query) {
    // Echoed as the manager receives them.
    WString wideNamespace = Wide(wmiNamespace);
    WString wideQuery = Wide(query);
    Service<IWmiMng> manager(exports.GetIWmiMng(), exports.FreeIWmiMng);
    if (!manager) return NoObject("GetIWmiMng");
    manager->SetNamespace(wideNamespace);
    WmiQuery request;
    request.Query = wideQuery.c_str();
    request.IncludeEmpty = true;
    std::vector<WmiRow> rows;
    DWORD result = manager->Query(request, rows);
    Json member = Result(result);
    member["namespace"] = Utf8(wideNamespace);
    member["query"] = Utf8(wideQuery);
    if (Built(result)) {
        Json list = Json::array();
        for (const WmiRow& row : rows) list.push_back(RowToJson(row));
        member["rows"] = std::move(list);
    }
    return member;
}

std::vector<NamedCommand> Inventory() {
    return {{"os", OperatingSystem},
            {"battery", Battery},
            {"hardware", Hardware},
            {"software", Software},
            {"system", System},
            {"proxy", [](const ServiceExports& exports) { return Proxy(exports, 0); }},
            {"ad", ActiveDirectory},
            {"exchange", Exchange},
            {"location", Location},
            {"updates",
             [](const ServiceExports& exports) { return Updates(exports, UpdatesOperation::Get, 0); }}};
}

}  // namespace hostlens::cli
