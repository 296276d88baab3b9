#include "wmi/wmi_mng.h"

#include <cstdarg>
#include <exception>
#include <stdexcept>
#include <vector>

#include "frame/ole_owners.h"
#include "frame/trace.h"
#include "wmi/cim_repair.h"
#include "wmi/variant_convert.h"

HL_TRACE_MODULE("wmi/wmi_mng")

namespace {

using hostlens::Bstr;
using hostlens::ComPtr;
using hostlens::SafeArray;
using hostlens::Variant;

constexpr DWORD kExceptionInExecQuery = 4208;   // 0x1070
constexpr DWORD kExceptionInConnect = 5930;     // 0x172A
constexpr LONG kQueryFlags = WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY;

bool AsksForEveryProperty(const WmiQuery& query) {
    const WCHAR* first = query.Properties[0];
    return first == nullptr || (first[0] == W('*') && first[1] == 0);
}

// The names of a SAFEARRAY of BSTR, in index order. A failing array call is not the
// manager's to handle: it reaches the caller as an exception.
std::vector<WString> NamesOf(SAFEARRAY* names) {
    std::vector<WString> result;
    if (names == nullptr) return result;
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(names, 1, &lower)) || FAILED(SafeArrayGetUBound(names, 1, &upper)))
        throw std::runtime_error("cannot read the bounds of the property names");
    for (LONG i = lower; i <= upper; ++i) {
        Bstr name;
        if (FAILED(SafeArrayGetElement(names, &i, name.Receive())))
            throw std::runtime_error("cannot read a property name");
        result.emplace_back(name.Get() != nullptr ? name.Get() : W(""));
    }
    return result;
}

}  // namespace

CWmiMng::CWmiMng(ILogbridge* logger) : logger_(logger) {}

CWmiMng::~CWmiMng() {
    DisconnectAll();
}

bool CWmiMng::InitCom() {
    const DWORD modes[] = {COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED};
    for (DWORD mode : modes) {
        HRESULT hr = CoInitializeEx(nullptr, mode);
        if (hr == S_OK) {
            comInitialized_ = true;
            break;
        }
        if (hr == S_FALSE) {
            // COM was already up on this thread; this call still owes a CoUninitialize.
            TRACE_WARNING(hr);
            comInitialized_ = true;
            break;
        }
        if (hr == RPC_E_CHANGED_MODE) {
            TRACE_ERROR(hr);
            if (logger_ != nullptr) logger_->Log(LOG_LEVEL_ERROR, "Error: RPC_E_CHANGED_MODE");
        }
    }
    return comInitialized_;
}

HRESULT CWmiMng::CreateLocator() {
    if (!comInitialized_ && !InitCom()) return E_UNEXPECTED;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                  locator_.ReceiveVoid());
    if (FAILED(hr)) {
        TRACE_ERROR(hr);
        if (logger_ != nullptr) logger_->Log(LOG_LEVEL_ERROR, "Cannot create Instance of CLSID_WbemLocator %d", hr);
        locator_.Reset();
    }
    return hr;
}

HRESULT CWmiMng::Connect(const WString& wmiNamespace) {
    if (wmiNamespace.empty()) {
        TRACE_ERROR();
        return E_INVALIDARG;
    }
    HRESULT hr = S_OK;
    try {
        if (!locator_) {
            hr = CreateLocator();
            if (FAILED(hr)) {
                TRACE_ERROR(hr);
                if (logger_ != nullptr) logger_->Log(LOG_LEVEL_ERROR, "Error %d: Creating wmi instance", hr);
                return hr;
            }
        }
        if (services_) {
            if (connectedNamespace_ == wmiNamespace) return S_OK;
            ReleaseConnection();
        }
        Bstr name(wmiNamespace.c_str());
        hr = locator_->ConnectServer(name.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                     services_.Receive());
    } catch (const std::exception&) {
        TRACE_CRITICAL();
        if (logger_ != nullptr) logger_->Log(LOG_LEVEL_EXCEPTION, "Exception connecting");
        hr = kExceptionInConnect;
    }
    if (hr != S_OK) {
        services_.Reset();
        TRACE_ERROR(hr);
        if (logger_ != nullptr)
            logger_->Log(LOG_LEVEL_ERROR, "Error %d, cannot connect to namespace %ws", hr, wmiNamespace.c_str());
        return hr;
    }
    connectedNamespace_ = wmiNamespace;
    hr = CoSetProxyBlanket(services_.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                           RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(hr)) {
        // The connection stays open and recorded.
        TRACE_ERROR(hr);
        if (logger_ != nullptr) logger_->Log(LOG_LEVEL_ERROR, "Error %d, cannot set proxy blanket", hr);
        return hr;
    }
    return S_OK;
}

void CWmiMng::ReleaseConnection() {
    services_.Reset();
    connectedNamespace_.clear();
}

void CWmiMng::ReleaseWmi() {
    ReleaseConnection();
    locator_.Reset();
}

void CWmiMng::DisconnectAll() {
    ReleaseWmi();
    if (comInitialized_) {
        CoUninitialize();
        comInitialized_ = false;
    }
}

void CWmiMng::SetNamespace(const WString& wmiNamespace) {
    namespace_ = wmiNamespace;
}

DWORD CWmiMng::Execute(Mode mode, const WString& wmiNamespace, const WmiQuery& query,
                       ComPtr<IEnumWbemClassObject>& enumerator) {
    // Out of memory here is not handled: it reaches the caller.
    Bstr language(W("WQL"));
    Bstr text(query.Query);
    HRESULT hr = S_OK;
    try {
        hr = services_->ExecQuery(language.Get(), text.Get(), kQueryFlags, nullptr, enumerator.Receive());
        if (hr == static_cast<HRESULT>(WBEM_E_SHUTTING_DOWN)) {
            // WMI is restarting: reconnect once and try again.
            TRACE_WARNING(hr);
            ReleaseConnection();
            hr = Connect(wmiNamespace);
            if (hr == S_OK) {
                hr = services_->ExecQuery(language.Get(), text.Get(), kQueryFlags, nullptr, enumerator.Receive());
                if (hr != S_OK && mode == Mode::WorkingNamespace) {
                    TRACE_ERROR(hr);
                    if (logger_ != nullptr)
                        logger_->Log(LOG_LEVEL_ERROR, "Error fatal %d, ending all connections", hr);
                    DisconnectAll();
                }
            }
        }
    } catch (const std::exception&) {
        TRACE_CRITICAL();
        if (logger_ != nullptr) logger_->Log(LOG_LEVEL_ERROR, "Exception: Executing query %ws", query.Query);
        hr = kExceptionInExecQuery;
    }
    if (hr != S_OK) {
        enumerator.Reset();
        TRACE_ERROR(hr);
        if (logger_ != nullptr)
            logger_->Log(LOG_LEVEL_ERROR,
                         mode == Mode::WorkingNamespace ? "Error %d: Executing WMI query" : "Error %d executing WMI query",
                         hr);
    }
    return static_cast<DWORD>(hr);
}

DWORD CWmiMng::ReadRows(Mode mode, const WmiQuery& query, IEnumWbemClassObject* enumerator,
                        std::vector<WmiRow>& rows) {
    rows.clear();
    DWORD pending = 0;
    int appended = 0;
    std::vector<WString> fixedNames;
    if (!AsksForEveryProperty(query)) {
        for (const WCHAR* const* name = query.Properties; name < query.Properties + 15 && *name != nullptr; ++name)
            fixedNames.emplace_back(*name);
    }
    HRESULT next = S_OK;
    for (;;) {
        ComPtr<IWbemClassObject> object;
        ULONG returned = 0;
        next = enumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, object.Receive(), &returned);
        if (next != WBEM_S_NO_ERROR) break;

        std::vector<WString> objectNames;
        if (fixedNames.empty()) {
            SafeArray names;
            HRESULT hr = object->GetNames(nullptr, 0, nullptr, names.Receive());
            if (FAILED(hr)) {
                pending = static_cast<DWORD>(hr);
                continue;
            }
            objectNames = NamesOf(names.Get());
        }
        const std::vector<WString>& names = fixedNames.empty() ? objectNames : fixedNames;

        WmiRow row;
        for (const WString& name : names) {
            Variant value;
            CIMTYPE type = 0;
            HRESULT hr = object->Get(name.c_str(), 0, value.Ptr(), mode == Mode::WorkingNamespace ? &type : nullptr,
                                     nullptr);
            if (FAILED(hr)) continue;
            VARTYPE vt = value.Get().vt;
            if (!query.IncludeEmpty && (vt == VT_EMPTY || vt == VT_NULL)) continue;
            if (mode == Mode::WorkingNamespace) RepairCimType(value.Get(), type);
            row[name] = WmiValue::Adopt(value.Get());
        }
        if (row.empty()) {
            pending = ERROR_NOT_FOUND;
        } else if (pending == 0) {
            rows.push_back(std::move(row));
            ++appended;
        }
    }
    if (next != WBEM_S_FALSE) {
        TRACE_ERROR(next, appended);
        if (logger_ != nullptr) logger_->Log(LOG_LEVEL_ERROR, "Error %d finding next, results = %d", next, appended);
        ReleaseWmi();
        pending = static_cast<DWORD>(next);
    }
    return pending;
}

DWORD CWmiMng::Query(const WmiQuery& query, std::vector<WmiRow>& rows) {
    if (namespace_.empty()) {
        TRACE_ERROR();
        return ERROR_INVALID_STATE;
    }
    if (query.Query == nullptr) {
        TRACE_ERROR();
        return ERROR_INVALID_PARAMETER;
    }
    if (services_ && connectedNamespace_ != namespace_) ReleaseConnection();
    if (!services_) {
        HRESULT hr = Connect(namespace_);
        if (hr != S_OK) {
            TRACE_ERROR(hr);
            if (logger_ != nullptr)
                logger_->Log(LOG_LEVEL_ERROR, "Error %d: Connecting to wmi namespace %ws", hr, namespace_.c_str());
            return static_cast<DWORD>(hr);
        }
    }
    ComPtr<IEnumWbemClassObject> enumerator;
    DWORD result = Execute(Mode::WorkingNamespace, namespace_, query, enumerator);
    if (result != 0) return result;
    return ReadRows(Mode::WorkingNamespace, query, enumerator.Get(), rows);
}

DWORD CWmiMng::QueryNamespace(const WString& wmiNamespace, const WmiQuery& query, std::vector<WmiRow>& rows) {
    if (wmiNamespace.empty() || query.Query == nullptr) {
        TRACE_ERROR();
        return ERROR_INVALID_PARAMETER;
    }
    // A connection to another namespace is dropped, and the one opened here is dropped
    // again at the end, so that the next Query reconnects to the working namespace.
    bool releaseAtEnd = false;
    if (services_ && connectedNamespace_ != wmiNamespace) {
        ReleaseConnection();
        releaseAtEnd = true;
    }
    struct ReleaseAtEnd {
        CWmiMng* manager;
        bool active;
        ~ReleaseAtEnd() {
            if (active) manager->ReleaseConnection();
        }
    } guard{this, releaseAtEnd};

    if (!services_) {
        HRESULT hr = Connect(wmiNamespace);
        if (hr != S_OK) {
            TRACE_ERROR(hr);
            if (logger_ != nullptr)
                logger_->Log(LOG_LEVEL_ERROR, "Error %d: Connecting to wmi namespace %ws", hr, wmiNamespace.c_str());
            return static_cast<DWORD>(hr);
        }
    }
    ComPtr<IEnumWbemClassObject> enumerator;
    DWORD result = Execute(Mode::NamedNamespace, wmiNamespace, query, enumerator);
    if (result != 0) return result;
    return ReadRows(Mode::NamedNamespace, query, enumerator.Get(), rows);
}

DWORD CWmiMng::QueryAsStrings(const WmiQuery& query, std::vector<WmiStringRow>& rows) {
    std::vector<WmiRow> typed;
    DWORD result = Query(query, typed);
    if (result == 0) AppendStringRows(typed, rows);
    return result;
}

DWORD CWmiMng::QueryNamespaceAsStrings(const WString& wmiNamespace, const WmiQuery& query,
                                       std::vector<WmiStringRow>& rows) {
    std::vector<WmiRow> typed;
    DWORD result = QueryNamespace(wmiNamespace, query, typed);
    if (result == 0) AppendStringRows(typed, rows);
    return result;
}

void AppendStringRows(const std::vector<WmiRow>& rows, std::vector<WmiStringRow>& out) {
    for (const WmiRow& row : rows) {
        WmiStringRow text;
        for (const auto& [name, value] : row) {
            WString single;
            if (VariantToString(value.Get(), single, false)) {
                text.emplace(name, std::move(single));
                continue;
            }
            std::vector<WString> list;
            if (!VariantToStringList(value.Get(), list)) continue;
            WString joined;
            for (std::size_t i = 0; i < list.size(); ++i) {
                if (i != 0) joined += W(" | ");
                joined += list[i];
            }
            text.emplace(name, std::move(joined));
        }
        out.push_back(std::move(text));
    }
}
