// BSTR, VARIANT and SAFEARRAY as OLE Automation callers see them.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/machine_test.h"

namespace hostlens::test {
namespace {

class OleAutomationTest : public MachineTest {};

// A COM object that only counts its references.
class CountedObject final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    ULONG references = 1;
};

DWORD LengthPrefix(BSTR text) {
    DWORD bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const char*>(text) - sizeof(DWORD), sizeof bytes);
    return bytes;
}

WString Text(BSTR text) {
    return WString(text, SysStringLen(text));
}

SAFEARRAY* BstrVector(const std::vector<WString>& texts) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    for (LONG i = 0; i < static_cast<LONG>(texts.size()); ++i) {
        BSTR text = SysAllocStringLen(texts[i].data(), static_cast<UINT>(texts[i].size()));
        EXPECT_EQ(SafeArrayPutElement(array, &i, text), S_OK);
        SysFreeString(text);
    }
    return array;
}

TEST_F(OleAutomationTest, BstrKeepsItsByteLengthBeforeAndANulAfterTheCharacters) {
    const WString embedded(W("ab\0cd"), 5);
    struct Case {
        const char* what;
        BSTR text;
        WString expected;
    } cases[] = {
        {"plain text", SysAllocString(W("hello")), W("hello")},
        {"empty text", SysAllocString(W("")), W("")},
        {"embedded NUL", SysAllocStringLen(embedded.data(), 5), embedded},
        {"prefix of a text", SysAllocStringLen(W("abcdef"), 3), W("abc")},
        {"no text: zeroed", SysAllocStringLen(nullptr, 3), WString(3, 0)},
    };
    EXPECT_EQ(sim::Open().bstrs, 5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(c.text, nullptr);
        EXPECT_EQ(SysStringLen(c.text), c.expected.size());
        EXPECT_EQ(SysStringByteLen(c.text), c.expected.size() * sizeof(WCHAR));
        EXPECT_EQ(LengthPrefix(c.text), c.expected.size() * sizeof(WCHAR));
        EXPECT_EQ(Text(c.text), c.expected);
        EXPECT_EQ(c.text[c.expected.size()], 0);
        SysFreeString(c.text);
    }

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST_F(OleAutomationTest, AllocationsFailOnDemand) {
    auto freeString = [](void* p) { SysFreeString(static_cast<BSTR>(p)); };
    auto destroyArray = [](void* p) { EXPECT_EQ(SafeArrayDestroy(static_cast<SAFEARRAY*>(p)), S_OK); };
    struct Case {
        const char* function;
        std::function<void*()> allocate;
        std::function<void(void*)> release;
    } cases[] = {
        {"SysAllocString", [] { return SysAllocString(W("x")); }, freeString},
        {"SysAllocStringLen", [] { return SysAllocStringLen(W("x"), 1); }, freeString},
        {"SafeArrayCreate",
         [] {
             SAFEARRAYBOUND bound{2, 0};
             return SafeArrayCreate(VT_I4, 1, &bound);
         },
         destroyArray},
        {"SafeArrayCreateVector", [] { return SafeArrayCreateVector(VT_I4, 0, 2); }, destroyArray},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        sim::FailCall(c.function, 1, static_cast<std::uint32_t>(E_OUTOFMEMORY));
        EXPECT_EQ(c.allocate(), nullptr);
        void* next = c.allocate();
        ASSERT_NE(next, nullptr) << "only the chosen call fails";
        EXPECT_EQ(sim::CallCount(c.function), 2u);
        c.release(next);
    }
}

TEST_F(OleAutomationTest, VariantClearReleasesWhatTheValueOwns) {
    CountedObject object;
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(value.vt, VT_EMPTY);

    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(W("owned"));
    EXPECT_EQ(VariantClear(&value), S_OK);
    EXPECT_EQ(value.vt, VT_EMPTY);
    EXPECT_EQ(sim::Open().bstrs, 0);

    value.vt = VT_ARRAY | VT_BSTR;
    value.parray = BstrVector({W("a"), W("b")});
    EXPECT_EQ(VariantClear(&value), S_OK);
    EXPECT_EQ(sim::Open().safeArrays, 0);
    EXPECT_EQ(sim::Open().bstrs, 0);

    for (VARTYPE type : {VT_UNKNOWN, VT_DISPATCH}) {
        object.AddRef();
        value.vt = type;
        value.punkVal = &object;
        EXPECT_EQ(VariantClear(&value), S_OK);
        EXPECT_EQ(object.references, 1u);
    }

    // A reference to a value owns nothing.
    BSTR text = SysAllocString(W("not owned"));
    value.vt = VT_BYREF | VT_BSTR;
    value.bstrVal = text;
    EXPECT_EQ(VariantClear(&value), S_OK);
    EXPECT_EQ(value.vt, VT_EMPTY);
    EXPECT_EQ(Text(text), W("not owned"));
    SysFreeString(text);
}

TEST_F(OleAutomationTest, InvalidVariantTypesAreRefused) {
    const VARTYPE invalid[] = {
        15,
        VT_VOID,
        VT_RECORD,
        VT_ARRAY | VT_EMPTY,
        VT_ARRAY | VT_NULL,
        VT_BYREF | VT_NULL,
        VT_VECTOR | VT_I4,
        VT_RESERVED | VT_I4,
        0x0FFF,
    };
    for (VARTYPE type : invalid) {
        SCOPED_TRACE(type);
        VARIANT value{};
        value.vt = type;
        VARIANT copy;
        VariantInit(&copy);
        EXPECT_EQ(VariantCopy(&copy, &value), DISP_E_BADVARTYPE);
        EXPECT_EQ(copy.vt, VT_EMPTY);
        EXPECT_EQ(VariantClear(&value), DISP_E_BADVARTYPE);
        EXPECT_EQ(value.vt, type) << "a refused value is left alone";
    }
    // A CLSID may be cleared but not copied.
    VARIANT clsid{};
    clsid.vt = VT_CLSID;
    VARIANT copy;
    VariantInit(&copy);
    EXPECT_EQ(VariantCopy(&copy, &clsid), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(&clsid), S_OK);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST_F(OleAutomationTest, VariantCopyCopiesStringsAndArraysDeeply) {
    const WString embedded(W("x\0y"), 3);
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocStringLen(embedded.data(), 3);

    // The destination's old value is released first.
    VARIANT copy;
    VariantInit(&copy);
    copy.vt = VT_BSTR;
    copy.bstrVal = SysAllocString(W("old"));
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, source.bstrVal);
    EXPECT_EQ(Text(copy.bstrVal), embedded);
    EXPECT_EQ(sim::Open().bstrs, 2);
    EXPECT_EQ(VariantCopy(&copy, &copy), S_OK);
    EXPECT_EQ(Text(copy.bstrVal), embedded);

    VariantClear(&source);
    source.vt = VT_ARRAY | VT_BSTR;
    source.parray = BstrVector({W("one"), W("two")});
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_NE(copy.parray, source.parray);
    EXPECT_EQ(sim::Open().safeArrays, 2);
    LONG index = 1;
    BSTR element = nullptr;
    ASSERT_EQ(SafeArrayGetElement(copy.parray, &index, &element), S_OK);
    EXPECT_EQ(Text(element), W("two"));
    SysFreeString(element);

    // A null string copies as a null string; an object gains a reference.
    VariantClear(&source);
    source.vt = VT_BSTR;
    source.bstrVal = nullptr;
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_EQ(copy.bstrVal, nullptr);
    CountedObject object;
    source.vt = VT_UNKNOWN;
    source.punkVal = &object;
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_EQ(object.references, 2u);
    VariantClear(&copy);
    EXPECT_EQ(object.references, 1u);

    sim::FailCall("VariantCopy", 1, static_cast<std::uint32_t>(E_OUTOFMEMORY));
    EXPECT_EQ(VariantCopy(&copy, &source), E_OUTOFMEMORY);
    EXPECT_EQ(object.references, 1u);
}

TEST_F(OleAutomationTest, ArraysReportTheirShapeAndType) {
    struct Case {
        VARTYPE type;
        UINT elementSize;
    } cases[] = {
        {VT_I1, 1},
        {VT_UI1, 1},
        {VT_I2, 2},
        {VT_UI2, 2},
        {VT_BOOL, 2},
        {VT_I4, 4},
        {VT_UI4, 4},
        {VT_R4, 4},
        {VT_INT, 4},
        {VT_ERROR, 4},
        {VT_I8, 8},
        {VT_UI8, 8},
        {VT_R8, 8},
        {VT_CY, 8},
        {VT_DATE, 8},
        {VT_DECIMAL, 16},
        {VT_BSTR, sizeof(BSTR)},
        {VT_UNKNOWN, sizeof(void*)},
        {VT_DISPATCH, sizeof(void*)},
        {VT_VARIANT, sizeof(VARIANT)},
    };
    // Two dimensions: 1..3 and -2..1.
    SAFEARRAYBOUND bounds[] = {{3, 1}, {4, -2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        SAFEARRAY* array = SafeArrayCreate(c.type, 2, bounds);
        ASSERT_NE(array, nullptr);
        EXPECT_EQ(SafeArrayGetDim(array), 2u);
        EXPECT_EQ(SafeArrayGetElemsize(array), c.elementSize);
        VARTYPE type = VT_EMPTY;
        EXPECT_EQ(SafeArrayGetVartype(array, &type), S_OK);
        EXPECT_EQ(type, c.type);
        if (c.type != VT_UNKNOWN && c.type != VT_DISPATCH) {
            // Where oleaut32 keeps it: the four bytes before the descriptor.
            EXPECT_TRUE(array->fFeatures & FADF_HAVEVARTYPE);
            DWORD stored = 0;
            std::memcpy(&stored, reinterpret_cast<const char*>(array) - sizeof(DWORD), sizeof stored);
            EXPECT_EQ(stored, c.type);
        }
        LONG lower = 0;
        LONG upper = 0;
        EXPECT_EQ(SafeArrayGetLBound(array, 1, &lower), S_OK);
        EXPECT_EQ(SafeArrayGetUBound(array, 1, &upper), S_OK);
        EXPECT_EQ(lower, 1);
        EXPECT_EQ(upper, 3);
        EXPECT_EQ(SafeArrayGetLBound(array, 2, &lower), S_OK);
        EXPECT_EQ(SafeArrayGetUBound(array, 2, &upper), S_OK);
        EXPECT_EQ(lower, -2);
        EXPECT_EQ(upper, 1);
        EXPECT_EQ(SafeArrayGetLBound(array, 0, &lower), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayGetUBound(array, 3, &upper), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayGetLBound(array, 1, nullptr), E_INVALIDARG);
        EXPECT_EQ(SafeArrayDestroy(array), S_OK);
    }

    SAFEARRAY* empty = SafeArrayCreateVector(VT_BSTR, 0, 0);
    LONG upper = 0;
    EXPECT_EQ(SafeArrayGetUBound(empty, 1, &upper), S_OK);
    EXPECT_EQ(upper, -1);
    EXPECT_EQ(SafeArrayDestroy(empty), S_OK);

    for (VARTYPE type : {VT_EMPTY, VT_NULL, VT_RECORD, VT_VOID})
        EXPECT_EQ(SafeArrayCreate(type, 2, bounds), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, bounds), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 1, nullptr), nullptr);
    EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &upper), E_INVALIDARG);
    VARTYPE type = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(nullptr, &type), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
}

TEST_F(OleAutomationTest, ElementsAreAddressedWithTheFirstIndexVaryingFastest) {
    SAFEARRAYBOUND bounds[] = {{2, 10}, {3, 0}};
    SAFEARRAY* array = SafeArrayCreate(VT_I4, 2, bounds);
    for (LONG row = 10; row < 12; ++row)
        for (LONG column = 0; column < 3; ++column) {
            LONG indices[] = {row, column};
            LONG value = row * 100 + column;
            ASSERT_EQ(SafeArrayPutElement(array, indices, &value), S_OK);
        }
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
    const LONG* cells = static_cast<const LONG*>(data);
    EXPECT_EQ(std::vector<LONG>(cells, cells + 6), (std::vector<LONG>{1000, 1100, 1001, 1101, 1002, 1102}));
    EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);

    struct Case {
        LONG row;
        LONG column;
        HRESULT expected;
    } cases[] = {{11, 2, S_OK},
                 {9, 0, DISP_E_BADINDEX},
                 {12, 0, DISP_E_BADINDEX},
                 {10, -1, DISP_E_BADINDEX},
                 {10, 3, DISP_E_BADINDEX}};
    for (const Case& c : cases) {
        LONG indices[] = {c.row, c.column};
        LONG value = -1;
        EXPECT_EQ(SafeArrayGetElement(array, indices, &value), c.expected) << c.row << "," << c.column;
        if (c.expected == S_OK) {
            EXPECT_EQ(value, c.row * 100 + c.column);
        }
        EXPECT_EQ(SafeArrayPutElement(array, indices, &value), c.expected);
    }
    LONG index[] = {10, 0};
    EXPECT_EQ(SafeArrayGetElement(array, index, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetElement(array, nullptr, index), E_INVALIDARG);
    EXPECT_EQ(SafeArrayPutElement(nullptr, index, index), E_INVALIDARG);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST_F(OleAutomationTest, ElementAccessCopiesStringsVariantsAndReferences) {
    SAFEARRAY* strings = BstrVector({W("first"), W("second")});
    LONG index = 0;
    BSTR text = nullptr;
    ASSERT_EQ(SafeArrayGetElement(strings, &index, &text), S_OK);
    EXPECT_EQ(Text(text), W("first"));
    EXPECT_EQ(sim::Open().bstrs, 3) << "the caller receives its own copy";
    SysFreeString(text);
    // Putting a null string stores an empty one.
    ASSERT_EQ(SafeArrayPutElement(strings, &index, nullptr), S_OK);
    ASSERT_EQ(SafeArrayGetElement(strings, &index, &text), S_OK);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 0u);
    SysFreeString(text);
    EXPECT_EQ(SafeArrayDestroy(strings), S_OK);
    EXPECT_EQ(sim::Open().bstrs, 0);

    SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 1, 1);
    index = 1;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(W("inside"));
    ASSERT_EQ(SafeArrayPutElement(variants, &index, &value), S_OK);
    VariantClear(&value);
    VARIANT read;
    read.vt = 0x7777;  // whatever the caller's VARIANT held is ignored
    ASSERT_EQ(SafeArrayGetElement(variants, &index, &read), S_OK);
    EXPECT_EQ(read.vt, VT_BSTR);
    EXPECT_EQ(Text(read.bstrVal), W("inside"));
    VariantClear(&read);
    EXPECT_EQ(SafeArrayDestroy(variants), S_OK) << "destroying clears the VARIANT elements";

    CountedObject object;
    SAFEARRAY* objects = SafeArrayCreateVector(VT_UNKNOWN, 0, 2);
    index = 0;
    ASSERT_EQ(SafeArrayPutElement(objects, &index, static_cast<IUnknown*>(&object)), S_OK);
    EXPECT_EQ(object.references, 2u);
    IUnknown* got = nullptr;
    ASSERT_EQ(SafeArrayGetElement(objects, &index, &got), S_OK);
    EXPECT_EQ(got, &object);
    EXPECT_EQ(object.references, 3u);
    got->Release();
    EXPECT_EQ(SafeArrayDestroy(objects), S_OK);
    EXPECT_EQ(object.references, 1u);
}

TEST_F(OleAutomationTest, LockedArraysCannotBeDestroyed) {
    SAFEARRAY* array = BstrVector({W("kept")});
    ASSERT_EQ(SafeArrayLock(array), S_OK);
    ASSERT_EQ(SafeArrayLock(array), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnlock(array), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnlock(array), S_OK);
    EXPECT_EQ(SafeArrayUnlock(array), E_UNEXPECTED);

    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
    EXPECT_EQ(data, array->pvData);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    VARIANT holder;
    holder.vt = VT_ARRAY | VT_BSTR;
    holder.parray = array;
    EXPECT_EQ(VariantClear(&holder), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);

    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
    EXPECT_EQ(SafeArrayLock(nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayUnlock(nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayAccessData(nullptr, &data), E_INVALIDARG);
}

TEST_F(OleAutomationTest, SafeArrayCopyIsDeep) {
    SAFEARRAY* source = SafeArrayCreateVector(VT_VARIANT, 3, 2);
    LONG index = 3;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_ARRAY | VT_BSTR;
    value.parray = BstrVector({W("nested")});
    ASSERT_EQ(SafeArrayPutElement(source, &index, &value), S_OK);
    VariantClear(&value);
    index = 4;
    value.vt = VT_I4;
    value.lVal = 42;
    ASSERT_EQ(SafeArrayPutElement(source, &index, &value), S_OK);
    const sim::OpenCounts before = sim::Open();

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(source, &copy), S_OK);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(sim::Open().safeArrays, before.safeArrays + 2);
    EXPECT_EQ(sim::Open().bstrs, before.bstrs + 1);
    VARTYPE type = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(copy, &type), S_OK);
    EXPECT_EQ(type, VT_VARIANT);
    LONG lower = 0;
    EXPECT_EQ(SafeArrayGetLBound(copy, 1, &lower), S_OK);
    EXPECT_EQ(lower, 3);
    EXPECT_EQ(SafeArrayDestroy(source), S_OK);

    index = 3;
    VARIANT read;
    ASSERT_EQ(SafeArrayGetElement(copy, &index, &read), S_OK);
    ASSERT_EQ(read.vt, VT_ARRAY | VT_BSTR);
    LONG inner = 0;
    BSTR text = nullptr;
    ASSERT_EQ(SafeArrayGetElement(read.parray, &inner, &text), S_OK);
    EXPECT_EQ(Text(text), W("nested"));
    SysFreeString(text);
    VariantClear(&read);
    index = 4;
    ASSERT_EQ(SafeArrayGetElement(copy, &index, &read), S_OK);
    EXPECT_EQ(read.vt, VT_I4);
    EXPECT_EQ(read.lVal, 42);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);

    EXPECT_EQ(SafeArrayCopy(nullptr, &copy), S_OK);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(SafeArrayCopy(nullptr, nullptr), E_INVALIDARG);

    source = BstrVector({W("x")});
    copy = source;
    sim::FailCall("SafeArrayCopy", 1, static_cast<std::uint32_t>(E_OUTOFMEMORY));
    EXPECT_EQ(SafeArrayCopy(source, &copy), E_OUTOFMEMORY);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(SafeArrayDestroy(source), S_OK);
}

}  // namespace
}  // namespace hostlens::test
