// BSTR, VARIANT and SAFEARRAY with the memory layout and result codes that OLE
// Automation gives callers on Windows: a BSTR carries its length in bytes in the
// four bytes before its first character and a NUL after its last; a SAFEARRAY
// descriptor is preceded by 16 hidden bytes that hold its VARTYPE (or the IID of
// an interface array); bounds are stored last dimension first.
//
// The exported functions that can fail count their calls and fail on demand; the
// layer's own nested work (copying the BSTRs of an array, clearing the VARIANTs of
// an array) goes through internal helpers, so that a test failing "SysAllocString"
// fails exactly the caller's own call.
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/machine/machine.h"
#include "platform/posix/win32_base.h"
#include "platform/posix/com/win32_com.h"
#include "platform/posix/oleauto/win32_oleauto.h"

namespace {

using hostlens::sim::detail::Closed;
using hostlens::sim::detail::Fault;
using hostlens::sim::detail::Opened;
using hostlens::sim::detail::Resource;

// ---------------------------------------------------------------------------------
// BSTR

// The largest byte length oleaut32 allocates: the length prefix is a signed count.
constexpr std::size_t kMaxBstrBytes = 0x7FFFFFFF - sizeof(DWORD) - sizeof(WCHAR);

unsigned char* BstrBlock(BSTR text) {
    return reinterpret_cast<unsigned char*>(text) - sizeof(DWORD);
}

DWORD BstrBytes(BSTR text) {
    if (!text) return 0;
    DWORD bytes = 0;
    std::memcpy(&bytes, BstrBlock(text), sizeof bytes);
    return bytes;
}

// `data` may be null: the characters are then zero.
BSTR AllocBstrBytes(const void* data, std::size_t bytes) {
    if (bytes >= kMaxBstrBytes) return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(sizeof(DWORD) + bytes + sizeof(WCHAR)));
    if (!block) return nullptr;
    auto length = static_cast<DWORD>(bytes);
    std::memcpy(block, &length, sizeof length);
    if (data && bytes)
        std::memcpy(block + sizeof(DWORD), data, bytes);
    else
        std::memset(block + sizeof(DWORD), 0, bytes);
    block[sizeof(DWORD) + bytes] = 0;
    block[sizeof(DWORD) + bytes + 1] = 0;
    Opened(Resource::Bstr);
    return reinterpret_cast<BSTR>(block + sizeof(DWORD));
}

BSTR CopyBstr(BSTR text) {
    return AllocBstrBytes(text, BstrBytes(text));
}

void FreeBstr(BSTR text) {
    if (!text) return;
    std::free(BstrBlock(text));
    Closed(Resource::Bstr);
}

// ---------------------------------------------------------------------------------
// SAFEARRAY internals

constexpr std::size_t kHiddenBytes = 16;
// The largest data block an array may have: what a 32-bit process could address.
constexpr std::uint64_t kMaxDataBytes = 0x7FFFFFFF;
constexpr USHORT kNotCopiedFeatures = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;

constexpr GUID kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIidDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

HRESULT ClearVariant(VARIANT* value);
HRESULT CopyVariant(VARIANT* destination, const VARIANT* source);

// Size of one element of an array of `vt`; 0 for a type no array can hold.
ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_BOOL:
        case VT_I2:
        case VT_UI2:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_R4:
        case VT_ERROR:
        case VT_INT:
        case VT_UINT:
            return 4;
        case VT_R8:
        case VT_I8:
        case VT_UI8:
        case VT_CY:
        case VT_DATE:
            return 8;
        case VT_INT_PTR:
        case VT_UINT_PTR:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
            return sizeof(void*);
        case VT_DECIMAL:
            return 16;
        case VT_VARIANT:
            return sizeof(VARIANT);
        default:
            return 0;
    }
}

unsigned char* Hidden(SAFEARRAY* array) {
    return reinterpret_cast<unsigned char*>(array) - kHiddenBytes;
}

std::size_t DescriptorBytes(UINT dims) {
    return offsetof(SAFEARRAY, rgsabound) + dims * sizeof(SAFEARRAYBOUND);
}

// A zeroed descriptor of `dims` dimensions with its hidden header; not yet counted.
SAFEARRAY* AllocDescriptor(UINT dims) {
    if (dims == 0 || dims >= 0x10000) return nullptr;
    auto* block = static_cast<unsigned char*>(std::calloc(1, kHiddenBytes + DescriptorBytes(dims)));
    if (!block) return nullptr;
    auto* array = reinterpret_cast<SAFEARRAY*>(block + kHiddenBytes);
    array->cDims = static_cast<USHORT>(dims);
    return array;
}

void FreeDescriptor(SAFEARRAY* array) {
    std::free(Hidden(array));
}

// Records what the array holds as oleaut32 does: interface arrays keep their IID in
// the hidden bytes, every other array its VARTYPE in the last four of them.
void SetElementType(SAFEARRAY* array, VARTYPE vt) {
    if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
        array->fFeatures = FADF_HAVEIID | (vt == VT_DISPATCH ? FADF_DISPATCH : FADF_UNKNOWN);
        const GUID& iid = vt == VT_DISPATCH ? kIidDispatch : kIidUnknown;
        std::memcpy(Hidden(array), &iid, sizeof iid);
    } else {
        array->fFeatures = FADF_HAVEVARTYPE;
        DWORD stored = vt;
        std::memcpy(Hidden(array) + kHiddenBytes - sizeof stored, &stored, sizeof stored);
        if (vt == VT_BSTR) array->fFeatures |= FADF_BSTR;
        if (vt == VT_VARIANT) array->fFeatures |= FADF_VARIANT;
    }
    array->cbElements = ElementSize(vt);
}

HRESULT ElementType(SAFEARRAY* array, VARTYPE* vt) {
    if (!array || !vt) return E_INVALIDARG;
    if (array->fFeatures & FADF_RECORD) {
        *vt = VT_RECORD;
    } else if ((array->fFeatures & (FADF_HAVEIID | FADF_DISPATCH)) == (FADF_HAVEIID | FADF_DISPATCH)) {
        *vt = VT_DISPATCH;
    } else if (array->fFeatures & FADF_HAVEIID) {
        *vt = VT_UNKNOWN;
    } else if (array->fFeatures & FADF_HAVEVARTYPE) {
        DWORD stored = 0;
        std::memcpy(&stored, Hidden(array) + kHiddenBytes - sizeof stored, sizeof stored);
        *vt = static_cast<VARTYPE>(stored);
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}

// Number of elements over all dimensions; false when the data would not fit in
// what a 32-bit process can allocate.
bool CellCount(const SAFEARRAY* array, std::uint64_t& cells) {
    cells = 1;
    for (USHORT i = 0; i < array->cDims; ++i) {
        std::uint64_t n = array->rgsabound[i].cElements;
        if (n == 0) {
            cells = 0;
            return true;
        }
        if (cells > kMaxDataBytes / n) return false;
        cells *= n;
    }
    return array->cbElements == 0 || cells <= kMaxDataBytes / array->cbElements;
}

bool AllocData(SAFEARRAY* array) {
    std::uint64_t cells = 0;
    if (!CellCount(array, cells)) return false;
    std::size_t bytes = static_cast<std::size_t>(cells) * array->cbElements;
    array->pvData = std::calloc(bytes ? bytes : 1, 1);
    return array->pvData != nullptr;
}

template <class T>
T* Elements(SAFEARRAY* array) {
    return static_cast<T*>(array->pvData);
}

void ReleaseInterface(IUnknown* object) {
    if (object) object->Release();
}

// Releases what the elements own (strings, interfaces, VARIANT contents) and zeroes
// them, so that a partly copied array can be destroyed safely.
void ClearElements(SAFEARRAY* array) {
    std::uint64_t cells = 0;
    if (!array->pvData || !CellCount(array, cells)) return;
    if (array->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        for (std::uint64_t i = 0; i < cells; ++i) {
            ReleaseInterface(Elements<IUnknown*>(array)[i]);
            Elements<IUnknown*>(array)[i] = nullptr;
        }
    } else if (array->fFeatures & FADF_BSTR) {
        for (std::uint64_t i = 0; i < cells; ++i) {
            FreeBstr(Elements<BSTR>(array)[i]);
            Elements<BSTR>(array)[i] = nullptr;
        }
    } else if (array->fFeatures & FADF_VARIANT) {
        for (std::uint64_t i = 0; i < cells; ++i) ClearVariant(&Elements<VARIANT>(array)[i]);
    }
}

void FreeArray(SAFEARRAY* array) {
    ClearElements(array);
    std::free(array->pvData);
    FreeDescriptor(array);
    Closed(Resource::SafeArray);
}

HRESULT DestroyArray(SAFEARRAY* array) {
    if (!array) return S_OK;
    if (__atomic_load_n(&array->cLocks, __ATOMIC_ACQUIRE) > 0) return DISP_E_ARRAYISLOCKED;
    FreeArray(array);
    return S_OK;
}

// `bounds` in the caller's order (first dimension first); stored reversed.
SAFEARRAY* CreateArray(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds) {
    if (!bounds || ElementSize(vt) == 0) return nullptr;
    SAFEARRAY* array = AllocDescriptor(dims);
    if (!array) return nullptr;
    SetElementType(array, vt);
    for (UINT i = 0; i < dims; ++i) array->rgsabound[i] = bounds[dims - 1 - i];
    if (!AllocData(array)) {
        FreeDescriptor(array);
        return nullptr;
    }
    Opened(Resource::SafeArray);
    return array;
}

HRESULT CopyElements(SAFEARRAY* source, SAFEARRAY* copy) {
    std::uint64_t cells = 0;
    if (!source->pvData) return S_OK;
    if (!CellCount(source, cells)) return E_OUTOFMEMORY;
    if (source->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        for (std::uint64_t i = 0; i < cells; ++i) {
            IUnknown* object = Elements<IUnknown*>(source)[i];
            if (object) object->AddRef();
            Elements<IUnknown*>(copy)[i] = object;
        }
    } else if (source->fFeatures & FADF_BSTR) {
        for (std::uint64_t i = 0; i < cells; ++i) {
            BSTR text = Elements<BSTR>(source)[i];
            if (!text) continue;
            Elements<BSTR>(copy)[i] = CopyBstr(text);
            if (!Elements<BSTR>(copy)[i]) return E_OUTOFMEMORY;
        }
    } else if (source->fFeatures & FADF_VARIANT) {
        for (std::uint64_t i = 0; i < cells; ++i) {
            HRESULT hr = CopyVariant(&Elements<VARIANT>(copy)[i], &Elements<VARIANT>(source)[i]);
            if (FAILED(hr)) return hr;
        }
    } else if (cells) {
        std::memcpy(copy->pvData, source->pvData, static_cast<std::size_t>(cells) * source->cbElements);
    }
    return S_OK;
}

HRESULT CopyArray(SAFEARRAY* source, SAFEARRAY** result) {
    if (!result) return E_INVALIDARG;
    *result = nullptr;
    if (!source) return S_OK;  // a null array copies as a null array
    if (!source->cbElements) return E_INVALIDARG;
    SAFEARRAY* copy = AllocDescriptor(source->cDims);
    if (!copy) return E_OUTOFMEMORY;
    VARTYPE vt = VT_EMPTY;
    if (SUCCEEDED(ElementType(source, &vt)) && vt != VT_RECORD) SetElementType(copy, vt);
    std::memcpy(copy->rgsabound, source->rgsabound, source->cDims * sizeof(SAFEARRAYBOUND));
    copy->cbElements = source->cbElements;
    copy->fFeatures = static_cast<USHORT>(source->fFeatures & ~kNotCopiedFeatures);
    if (!AllocData(copy)) {
        FreeDescriptor(copy);
        return E_OUTOFMEMORY;
    }
    Opened(Resource::SafeArray);
    HRESULT hr = CopyElements(source, copy);
    if (FAILED(hr)) {
        FreeArray(copy);
        return hr;
    }
    *result = copy;
    return S_OK;
}

HRESULT LockArray(SAFEARRAY* array) {
    if (!array) return E_INVALIDARG;
    // oleaut32 allows at most 65535 simultaneous locks.
    if (__atomic_add_fetch(&array->cLocks, 1, __ATOMIC_ACQ_REL) > 0xFFFF) {
        __atomic_sub_fetch(&array->cLocks, 1, __ATOMIC_ACQ_REL);
        return E_UNEXPECTED;
    }
    return S_OK;
}

HRESULT UnlockArray(SAFEARRAY* array) {
    if (!array) return E_INVALIDARG;
    ULONG locks = __atomic_load_n(&array->cLocks, __ATOMIC_ACQUIRE);
    do {
        if (locks == 0) return E_UNEXPECTED;
    } while (!__atomic_compare_exchange_n(&array->cLocks, &locks, locks - 1, false, __ATOMIC_ACQ_REL,
                                          __ATOMIC_ACQUIRE));
    return S_OK;
}

// The first index belongs to the first dimension (stored last) and varies fastest.
HRESULT ElementAddress(SAFEARRAY* array, const LONG* indices, void** address) {
    std::uint64_t cell = 0;
    std::uint64_t stride = 1;
    for (USHORT d = 0; d < array->cDims; ++d) {
        const SAFEARRAYBOUND& bound = array->rgsabound[array->cDims - 1 - d];
        std::int64_t offset = static_cast<std::int64_t>(indices[d]) - bound.lLbound;
        if (offset < 0 || offset >= static_cast<std::int64_t>(bound.cElements)) return DISP_E_BADINDEX;
        cell += static_cast<std::uint64_t>(offset) * stride;
        stride *= bound.cElements;
    }
    *address = static_cast<unsigned char*>(array->pvData) + cell * array->cbElements;
    return S_OK;
}

// Holds an array lock for the duration of an element access.
class ScopedLock {
public:
    explicit ScopedLock(SAFEARRAY* array) : array_(array), result_(LockArray(array)) {}
    ~ScopedLock() {
        if (SUCCEEDED(result_)) UnlockArray(array_);
    }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;
    HRESULT Result() const { return result_; }

private:
    SAFEARRAY* array_;
    HRESULT result_;
};

HRESULT ReadElement(SAFEARRAY* array, const void* element, void* value) {
    if (array->fFeatures & FADF_VARIANT) {
        auto* destination = static_cast<VARIANT*>(value);
        destination->vt = VT_EMPTY;  // what the caller's VARIANT held is not released
        return CopyVariant(destination, static_cast<const VARIANT*>(element));
    }
    if (array->fFeatures & FADF_BSTR) {
        BSTR text = *static_cast<const BSTR*>(element);
        BSTR copy = text ? CopyBstr(text) : nullptr;
        *static_cast<BSTR*>(value) = copy;
        return (text && !copy) ? E_OUTOFMEMORY : S_OK;
    }
    if (array->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* object = *static_cast<IUnknown* const*>(element);
        if (object) object->AddRef();
        *static_cast<IUnknown**>(value) = object;
        return S_OK;
    }
    std::memcpy(value, element, array->cbElements);
    return S_OK;
}

HRESULT WriteElement(SAFEARRAY* array, void* element, void* value) {
    if (array->fFeatures & FADF_VARIANT) {
        if (!value) return E_INVALIDARG;
        return CopyVariant(static_cast<VARIANT*>(element), static_cast<const VARIANT*>(value));
    }
    if (array->fFeatures & FADF_BSTR) {
        // The value is the BSTR itself; a null one is stored as an empty string, as
        // oleaut32 copies it by its (zero) byte length.
        auto* slot = static_cast<BSTR*>(element);
        FreeBstr(*slot);
        *slot = CopyBstr(static_cast<BSTR>(value));
        return *slot ? S_OK : E_OUTOFMEMORY;
    }
    if (array->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* object = static_cast<IUnknown*>(value);
        auto* slot = static_cast<IUnknown**>(element);
        if (object) object->AddRef();
        ReleaseInterface(*slot);
        *slot = object;
        return S_OK;
    }
    if (!value) return E_INVALIDARG;
    std::memcpy(element, value, array->cbElements);
    return S_OK;
}

// ---------------------------------------------------------------------------------
// VARIANT internals

// The types a VARIANT may hold, as oleaut32 checks them. VT_RECORD needs record
// information this layer does not provide and is refused as well.
HRESULT ValidateType(VARTYPE vt) {
    VARTYPE extra = vt & static_cast<VARTYPE>(~VT_TYPEMASK);
    VARTYPE base = vt & VT_TYPEMASK;
    if (extra & (VT_VECTOR | VT_RESERVED)) return DISP_E_BADVARTYPE;
    if ((extra & (VT_BYREF | VT_ARRAY)) && base <= VT_NULL) return DISP_E_BADVARTYPE;
    if ((base >= VT_VOID && base != VT_CLSID) || base == 15) return DISP_E_BADVARTYPE;
    return S_OK;
}

HRESULT ClearVariant(VARIANT* value) {
    HRESULT hr = ValidateType(value->vt);
    if (FAILED(hr)) return hr;
    if (!(value->vt & VT_BYREF)) {
        if (value->vt & VT_ARRAY) {
            // A locked array is reported and, as on Windows, left to its owner.
            hr = DestroyArray(value->parray);
        } else if (value->vt == VT_BSTR) {
            FreeBstr(value->bstrVal);
        } else if (value->vt == VT_UNKNOWN || value->vt == VT_DISPATCH) {
            ReleaseInterface(value->punkVal);  // IDispatch derives from IUnknown
        }
    }
    value->vt = VT_EMPTY;
    return hr;
}

HRESULT CopyVariant(VARIANT* destination, const VARIANT* source) {
    // VT_CLSID is valid in a VARIANT (clearing it is harmless) but cannot be copied.
    if (FAILED(ValidateType(source->vt)) || (source->vt & VT_TYPEMASK) == VT_CLSID) return DISP_E_BADVARTYPE;
    if (destination == source) return S_OK;
    HRESULT hr = ClearVariant(destination);
    if (FAILED(hr)) return hr;
    *destination = *source;
    if (source->vt & VT_BYREF) return S_OK;
    if (source->vt & VT_ARRAY) return CopyArray(source->parray, &destination->parray);
    if (source->vt == VT_BSTR) {
        if (!source->bstrVal) return S_OK;
        destination->bstrVal = CopyBstr(source->bstrVal);
        return destination->bstrVal ? S_OK : E_OUTOFMEMORY;
    }
    if ((source->vt == VT_UNKNOWN || source->vt == VT_DISPATCH) && source->punkVal) source->punkVal->AddRef();
    return S_OK;
}

HRESULT Failure(std::uint32_t error) {
    return static_cast<HRESULT>(error);
}

}  // namespace

// ---------------------------------------------------------------------------------
// BSTR

HOSTLENS_WIN32_API BSTR WINAPI SysAllocString(const OLECHAR* text) {
    if (Fault("SysAllocString")) return nullptr;
    if (!text) return nullptr;
    return AllocBstrBytes(text, std::char_traits<OLECHAR>::length(text) * sizeof(OLECHAR));
}

HOSTLENS_WIN32_API BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (Fault("SysAllocStringLen")) return nullptr;
    if (length >= kMaxBstrBytes / sizeof(OLECHAR)) return nullptr;
    return AllocBstrBytes(text, std::size_t{length} * sizeof(OLECHAR));
}

HOSTLENS_WIN32_API void WINAPI SysFreeString(BSTR text) {
    FreeBstr(text);
}

HOSTLENS_WIN32_API UINT WINAPI SysStringLen(BSTR text) {
    return BstrBytes(text) / sizeof(OLECHAR);
}

HOSTLENS_WIN32_API UINT WINAPI SysStringByteLen(BSTR text) {
    return BstrBytes(text);
}

// ---------------------------------------------------------------------------------
// VARIANT

HOSTLENS_WIN32_API void WINAPI VariantInit(VARIANTARG* value) {
    if (value) value->vt = VT_EMPTY;
}

HOSTLENS_WIN32_API HRESULT WINAPI VariantClear(VARIANTARG* value) {
    if (!value) return E_INVALIDARG;
    return ClearVariant(value);
}

HOSTLENS_WIN32_API HRESULT WINAPI VariantCopy(VARIANTARG* destination, const VARIANTARG* source) {
    if (auto error = Fault("VariantCopy")) return Failure(*error);
    if (!destination || !source) return E_INVALIDARG;
    return CopyVariant(destination, source);
}

// ---------------------------------------------------------------------------------
// SAFEARRAY

HOSTLENS_WIN32_API SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE type, UINT dims, SAFEARRAYBOUND* bounds) {
    if (Fault("SafeArrayCreate")) return nullptr;
    return CreateArray(type, dims, bounds);
}

HOSTLENS_WIN32_API SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE type, LONG lowerBound, ULONG elements) {
    if (Fault("SafeArrayCreateVector")) return nullptr;
    SAFEARRAYBOUND bound{elements, lowerBound};
    return CreateArray(type, 1, &bound);
}

HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* array) {
    return DestroyArray(array);
}

HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** result) {
    if (auto error = Fault("SafeArrayCopy")) {
        if (result) *result = nullptr;
        return Failure(*error);
    }
    return CopyArray(source, result);
}

HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound) {
    if (auto error = Fault("SafeArrayGetLBound")) return Failure(*error);
    if (!array || !bound) return E_INVALIDARG;
    if (dim == 0 || dim > array->cDims) return DISP_E_BADINDEX;
    *bound = array->rgsabound[array->cDims - dim].lLbound;
    return S_OK;
}

HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound) {
    if (auto error = Fault("SafeArrayGetUBound")) return Failure(*error);
    if (!array || !bound) return E_INVALIDARG;
    if (dim == 0 || dim > array->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = array->rgsabound[array->cDims - dim];
    // An empty dimension reports an upper bound one below its lower bound.
    *bound = static_cast<LONG>(static_cast<ULONG>(b.lLbound) + b.cElements - 1);
    return S_OK;
}

HOSTLENS_WIN32_API UINT WINAPI SafeArrayGetDim(SAFEARRAY* array) {
    return array ? array->cDims : 0;
}

HOSTLENS_WIN32_API UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* array) {
    return array ? array->cbElements : 0;
}

HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* type) {
    if (auto error = Fault("SafeArrayGetVartype")) return Failure(*error);
    return ElementType(array, type);
}

HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayLock(SAFEARRAY* array) {
    if (auto error = Fault("SafeArrayLock")) return Failure(*error);
    return LockArray(array);
}

HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayUnlock(SAFEARRAY* array) {
    return UnlockArray(array);
}

HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* array, void** data) {
    if (auto error = Fault("SafeArrayAccessData")) return Failure(*error);
    if (!array || !data) return E_INVALIDARG;
    if (FAILED(LockArray(array))) {
        *data = nullptr;
        return E_UNEXPECTED;
    }
    *data = array->pvData;
    return S_OK;
}

HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* array) {
    return UnlockArray(array);
}

HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value) {
    if (auto error = Fault("SafeArrayGetElement")) return Failure(*error);
    if (!array || !indices || !value) return E_INVALIDARG;
    ScopedLock lock(array);
    if (FAILED(lock.Result())) return lock.Result();
    void* element = nullptr;
    HRESULT hr = ElementAddress(array, indices, &element);
    if (FAILED(hr)) return hr;
    return ReadElement(array, element, value);
}

HOSTLENS_WIN32_API HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value) {
    if (auto error = Fault("SafeArrayPutElement")) return Failure(*error);
    if (!array || !indices) return E_INVALIDARG;
    ScopedLock lock(array);
    if (FAILED(lock.Result())) return lock.Result();
    void* element = nullptr;
    HRESULT hr = ElementAddress(array, indices, &element);
    if (FAILED(hr)) return hr;
    return WriteElement(array, element, value);
}
