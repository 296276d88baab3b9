// The WMI client objects over the machine's repository: the locator connects to a
// namespace, the services object runs WQL, the enumerator hands out one object per
// matching instance, and each object answers Get and GetNames with values typed as
// WMI delivers them.
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/posix/com/com_object.h"
#include "platform/posix/machine/machine.h"
#include "platform/posix/oleauto/win32_oleauto.h"
#include "platform/posix/com/win32_wbem.h"
#include "platform/posix/com/wmi/query_control.h"
#include "platform/posix/com/wmi/repository.h"
#include "platform/posix/com/wmi/wql.h"

HOSTLENS_WIN32_API const CLSID CLSID_WbemLocator = {
    0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
HOSTLENS_WIN32_API const IID IID_IWbemLocator = {
    0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
HOSTLENS_WIN32_API const IID IID_IWbemServices = {
    0x9556DC99, 0x828C, 0x11CF, {0xA3, 0x7E, 0x00, 0xAA, 0x00, 0x32, 0x40, 0xC7}};
HOSTLENS_WIN32_API const IID IID_IEnumWbemClassObject = {
    0x027947E1, 0xD731, 0x11CE, {0xA3, 0x57, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
HOSTLENS_WIN32_API const IID IID_IWbemClassObject = {
    0xDC12A681, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

namespace hostlens::sim::detail {

template <>
const IID& InterfaceId<IWbemLocator>() {
    return IID_IWbemLocator;
}
template <>
const IID& InterfaceId<IWbemServices>() {
    return IID_IWbemServices;
}
template <>
const IID& InterfaceId<IEnumWbemClassObject>() {
    return IID_IEnumWbemClassObject;
}
template <>
const IID& InterfaceId<IWbemClassObject>() {
    return IID_IWbemClassObject;
}

namespace {

constexpr HRESULT kNotSupported = static_cast<HRESULT>(0x8004100CL);  // WBEM_E_NOT_SUPPORTED

// The VARIANT type in which WMI delivers a value of a CIM type: 16- and 32-bit
// unsigned integers widen to VT_I4, 8- and 16-bit signed ones (and CHAR16) travel as
// VT_I2, and 64-bit integers as strings, whose CIM type tells the truth.
VARTYPE VariantTypeOf(CimType elementType) {
    switch (elementType) {
        case cim::SInt8:
        case cim::SInt16:
        case cim::Char16:
            return VT_I2;
        case cim::UInt8:
            return VT_UI1;
        case cim::UInt16:
        case cim::UInt32:
        case cim::SInt32:
            return VT_I4;
        case cim::Real32:
            return VT_R4;
        case cim::Real64:
            return VT_R8;
        case cim::Boolean:
            return VT_BOOL;
        case cim::Object:
            return VT_UNKNOWN;
        default:
            return VT_BSTR;  // strings, dates, references, 64-bit integers
    }
}

std::u16string ScalarText(const WmiScalar& value) {
    if (auto* text = std::get_if<std::u16string>(&value)) return *text;
    std::string digits;
    if (auto* i = std::get_if<std::int64_t>(&value)) digits = std::to_string(*i);
    if (auto* u = std::get_if<std::uint64_t>(&value)) digits = std::to_string(*u);
    if (auto* d = std::get_if<double>(&value)) digits = std::to_string(*d);
    if (auto* b = std::get_if<bool>(&value)) digits = *b ? "TRUE" : "FALSE";
    return std::u16string(digits.begin(), digits.end());
}

double ScalarNumber(const WmiScalar& value) {
    if (auto* i = std::get_if<std::int64_t>(&value)) return static_cast<double>(*i);
    if (auto* u = std::get_if<std::uint64_t>(&value)) return static_cast<double>(*u);
    if (auto* d = std::get_if<double>(&value)) return *d;
    if (auto* b = std::get_if<bool>(&value)) return *b ? 1 : 0;
    return 0;
}

std::int64_t ScalarInteger(const WmiScalar& value) {
    if (auto* i = std::get_if<std::int64_t>(&value)) return *i;
    if (auto* u = std::get_if<std::uint64_t>(&value)) return static_cast<std::int64_t>(*u);
    if (auto* d = std::get_if<double>(&value)) return static_cast<std::int64_t>(*d);
    if (auto* b = std::get_if<bool>(&value)) return *b ? 1 : 0;
    return 0;
}

// Writes one scalar in the VARIANT type `vt` into `out` (a VARIANT or array element).
HRESULT PutScalar(VARTYPE vt, const WmiScalar& value, VARIANT& out) {
    out.vt = vt;
    switch (vt) {
        case VT_I2:
            out.iVal = static_cast<SHORT>(ScalarInteger(value));
            break;
        case VT_UI1:
            out.bVal = static_cast<BYTE>(ScalarInteger(value));
            break;
        case VT_I4:
            out.lVal = static_cast<LONG>(ScalarInteger(value));
            break;
        case VT_R4:
            out.fltVal = static_cast<float>(ScalarNumber(value));
            break;
        case VT_R8:
            out.dblVal = ScalarNumber(value);
            break;
        case VT_BOOL:
            out.boolVal = ScalarInteger(value) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        default: {
            std::u16string text = ScalarText(value);
            out.vt = VT_BSTR;
            out.bstrVal = SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
            if (out.bstrVal == nullptr) {
                out.vt = VT_EMPTY;
                return E_OUTOFMEMORY;
            }
        }
    }
    return S_OK;
}

HRESULT ToVariant(CimType type, const WmiValue& value, VARIANT& out) {
    VariantInit(&out);
    if (std::holds_alternative<std::monostate>(value)) {
        out.vt = VT_NULL;
        return S_OK;
    }
    CimType elementType = static_cast<CimType>(type & ~cim::Array);
    VARTYPE vt = VariantTypeOf(elementType);
    if (auto* array = std::get_if<WmiArray>(&value)) {
        SAFEARRAY* safeArray = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(array->size()));
        if (safeArray == nullptr) return E_OUTOFMEMORY;
        for (LONG i = 0; i < static_cast<LONG>(array->size()); ++i) {
            VARIANT element;
            VariantInit(&element);
            HRESULT hr = PutScalar(vt, (*array)[static_cast<std::size_t>(i)], element);
            if (SUCCEEDED(hr)) {
                // PutElement copies: a BSTR element is copied, the VARIANT then cleared.
                void* data =
                    vt == VT_BSTR ? static_cast<void*>(element.bstrVal) : static_cast<void*>(&element.iVal);
                hr = SafeArrayPutElement(safeArray, &i, data);
            }
            VariantClear(&element);
            if (FAILED(hr)) {
                SafeArrayDestroy(safeArray);
                return hr;
            }
        }
        out.vt = static_cast<VARTYPE>(VT_ARRAY | vt);
        out.parray = safeArray;
        return S_OK;
    }
    if (elementType == cim::Object) {
        out.vt = VT_NULL;  // embedded objects are not modelled
        return S_OK;
    }
    WmiScalar scalar;
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (!std::is_same_v<T, std::monostate> && !std::is_same_v<T, WmiArray>) scalar = v;
        },
        value);
    return PutScalar(vt, scalar, out);
}

// One object of a query's result: the selected properties of one instance.
class ClassObject final : public ComObject<IWbemClassObject> {
public:
    ClassObject(std::shared_ptr<const std::vector<WmiProperty>> properties, wmi::Instance values)
        : properties_(std::move(properties)), values_(std::move(values)) {}

    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type,
                                  LONG* flavor) override {
        if (auto error = Fault("IWbemClassObject::Get")) return static_cast<HRESULT>(*error);
        if (name == nullptr || flags != 0) return WBEM_E_INVALID_PARAMETER;
        const std::size_t nameLength = std::u16string_view(name).size();
        for (std::size_t i = 0; i < properties_->size(); ++i) {
            const WmiProperty& property = (*properties_)[i];
            // Lengths first: most names differ in length, and this runs for every value.
            if (property.name.size() != nameLength || CompareNoCase(property.name, name) != 0) continue;
            if (value != nullptr) {
                HRESULT hr = ToVariant(property.type, values_[i], *value);
                if (FAILED(hr)) return hr;
            }
            if (type != nullptr) *type = property.type;
            if (flavor != nullptr) *flavor = 0;  // WBEM_FLAVOR_ORIGIN_LOCAL
            return WBEM_S_NO_ERROR;
        }
        return WBEM_E_NOT_FOUND;
    }

    HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR qualifierName, LONG flags, VARIANT* qualifierValue,
                                       SAFEARRAY** names) override {
        if (auto error = Fault("IWbemClassObject::GetNames")) return static_cast<HRESULT>(*error);
        if (names == nullptr || qualifierName != nullptr || qualifierValue != nullptr || flags != 0)
            return WBEM_E_INVALID_PARAMETER;
        SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(properties_->size()));
        if (array == nullptr) return WBEM_E_OUT_OF_MEMORY;
        for (LONG i = 0; i < static_cast<LONG>(properties_->size()); ++i) {
            const std::u16string& name = (*properties_)[static_cast<std::size_t>(i)].name;
            BSTR text = SysAllocStringLen(name.c_str(), static_cast<UINT>(name.size()));
            HRESULT hr = text == nullptr ? WBEM_E_OUT_OF_MEMORY : SafeArrayPutElement(array, &i, text);
            SysFreeString(text);
            if (FAILED(hr)) {
                SafeArrayDestroy(array);
                return hr;
            }
        }
        *names = array;
        return WBEM_S_NO_ERROR;
    }

    // Nothing else of the object is used by WMI clients here.
    HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet**) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR, LONG, VARIANT*, CIMTYPE) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE Next(LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE EndEnumeration() override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject**) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE GetObjectText(LONG, BSTR*) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG, IWbemClassObject**) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE SpawnInstance(LONG, IWbemClassObject**) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE CompareTo(LONG, IWbemClassObject*) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR, BSTR*) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR, LONG, IWbemClassObject**, IWbemClassObject**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE NextMethod(LONG, BSTR*, IWbemClassObject**, IWbemClassObject**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR, BSTR*) override { return kNotSupported; }

private:
    std::shared_ptr<const std::vector<WmiProperty>> properties_;
    wmi::Instance values_;
};

// The result of one query, handed out forward only.
class Enumerator final : public ComObject<IEnumWbemClassObject> {
public:
    explicit Enumerator(wmi::WqlResult result)
        : properties_(std::make_shared<const std::vector<WmiProperty>>(std::move(result.properties))),
          rows_(std::move(result.rows)) {}

    HRESULT STDMETHODCALLTYPE Next(LONG /*timeout*/, ULONG count, IWbemClassObject** objects,
                                   ULONG* returned) override {
        if (returned != nullptr) *returned = 0;
        if (auto error = Fault("IEnumWbemClassObject::Next")) return static_cast<HRESULT>(*error);
        if (objects == nullptr || returned == nullptr) return WBEM_E_INVALID_PARAMETER;
        ULONG given = 0;
        while (given < count && next_ < rows_.size()) {
            objects[given++] = new ClassObject(properties_, std::move(rows_[next_++]));
        }
        *returned = given;
        return given == count ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Reset() override { return kNotSupported; }  // forward only
    HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject**) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE Skip(LONG, ULONG count) override {
        ULONG left = static_cast<ULONG>(rows_.size() - next_);
        ULONG skipped = count < left ? count : left;
        next_ += skipped;
        return skipped == count ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
    }

private:
    std::shared_ptr<const std::vector<WmiProperty>> properties_;
    std::vector<wmi::Instance> rows_;
    std::size_t next_ = 0;
};

class Services final : public ComObject<IWbemServices> {
public:
    explicit Services(std::u16string ns) : namespace_(std::move(ns)) {}

    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR language, const BSTR query, LONG /*flags*/,
                                        IWbemContext* /*context*/,
                                        IEnumWbemClassObject** enumerator) override {
        if (enumerator == nullptr) return WBEM_E_INVALID_PARAMETER;
        *enumerator = nullptr;
        std::u16string_view text =
            query != nullptr ? std::u16string_view(query, SysStringLen(query)) : std::u16string_view();
        HRESULT hr = Execute(language, query, text, enumerator);
        wmi::LogQuery(namespace_, text, hr);
        return hr;
    }

    HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices**,
                                            IWbemCallResult**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink*) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG, IWbemObjectSink**) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE GetObject(const BSTR, LONG, IWbemContext*, IWbemClassObject**,
                                        IWbemCallResult**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject*, LONG, IWbemContext*,
                                            IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR, LONG, IWbemContext*,
                                              IEnumWbemClassObject**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR, LONG, IWbemContext*,
                                                   IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject*, LONG, IWbemContext*,
                                          IWbemCallResult**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*,
                                               IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR, LONG, IWbemContext*,
                                                  IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR, LONG, IWbemContext*,
                                                 IEnumWbemClassObject**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*,
                                                      IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                             IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*,
                                                    IEnumWbemClassObject**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                                         IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                                         IWbemClassObject**, IWbemCallResult**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                                              IWbemObjectSink*) override {
        return kNotSupported;
    }

private:
    HRESULT Execute(const BSTR language, const BSTR query, std::u16string_view text,
                    IEnumWbemClassObject** enumerator) {
        if (auto error = Fault("IWbemServices::ExecQuery")) return static_cast<HRESULT>(*error);
        if (language == nullptr || query == nullptr) return WBEM_E_INVALID_PARAMETER;
        if (CompareNoCase(language, u"WQL") != 0) return WBEM_E_INVALID_QUERY_TYPE;
        wmi::WqlResult result = wmi::ExecuteWql(wmi::MachineRepository(), namespace_, text);
        if (FAILED(result.code)) return result.code;
        if (auto failure = wmi::QueryFailureFor(result.className)) return *failure;
        // The service running out of memory while it builds the result.
        if (Fault("IWbemServices::ExecQuery.Allocate")) throw std::bad_alloc();
        *enumerator = new Enumerator(std::move(result));
        return WBEM_S_NO_ERROR;
    }

    std::u16string namespace_;
};

class Locator final : public ComObject<IWbemLocator> {
public:
    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR networkResource, const BSTR /*user*/,
                                            const BSTR /*password*/, const BSTR /*locale*/,
                                            LONG /*securityFlags*/, const BSTR /*authority*/,
                                            IWbemContext* /*context*/, IWbemServices** services) override {
        if (services == nullptr) return WBEM_E_INVALID_PARAMETER;
        *services = nullptr;
        if (auto error = Fault("IWbemLocator::ConnectServer")) return static_cast<HRESULT>(*error);
        if (networkResource == nullptr) return WBEM_E_INVALID_PARAMETER;
        // Namespace names compare without case, as WMI compares them.
        auto ns = wmi::MachineRepository().FindNamespace(
            std::u16string_view(networkResource, SysStringLen(networkResource)));
        if (!ns) return WBEM_E_INVALID_NAMESPACE;
        *services = new Services(*ns);
        return WBEM_S_NO_ERROR;
    }
};

// WbemLocator is a registered class of every simulated machine.
[[maybe_unused]] const bool g_registered = [] {
    RegisterComClass(CLSID_WbemLocator, [](REFIID iid, void** object) {
        auto* locator = new Locator;
        HRESULT hr = locator->QueryInterface(iid, object);
        locator->Release();
        return hr;
    });
    return true;
}();

}  // namespace
}  // namespace hostlens::sim::detail
