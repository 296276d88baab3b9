// The texts WMI values become, and CIM date-times in UTC.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "support/machine_test.h"
#include "wmi/variant_convert.h"

namespace hostlens::test {
namespace {

class VariantConvertTest : public MachineTest {};

// A VARIANT the test owns.
class Value {
public:
    Value() { VariantInit(&value_); }
    explicit Value(const std::function<void(VARIANT&)>& fill) : Value() { fill(value_); }
    ~Value() { VariantClear(&value_); }
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;
    const VARIANT& operator*() const { return value_; }
    VARIANT& Get() { return value_; }

private:
    VARIANT value_;
};

std::function<void(VARIANT&)> Set(VARTYPE type, std::function<void(VARIANT&)> field) {
    return [type, field](VARIANT& v) {
        v.vt = type;
        field(v);
    };
}

std::function<void(VARIANT&)> Text(const WString& text) {
    return [text](VARIANT& v) {
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    };
}

// An array of `type` holding `count` elements of `size` bytes each from `bytes`.
std::function<void(VARIANT&)> Array(VARTYPE variantType, VARTYPE arrayType, const void* bytes, ULONG count,
                                    LONG lowerBound = 0) {
    return [=](VARIANT& v) {
        v.vt = VT_ARRAY | variantType;
        v.parray = SafeArrayCreateVector(arrayType, lowerBound, count);
        void* data = nullptr;
        SafeArrayAccessData(v.parray, &data);
        if (count) std::memcpy(data, bytes, count * SafeArrayGetElemsize(v.parray));
        SafeArrayUnaccessData(v.parray);
    };
}

template <class T>
std::function<void(VARIANT&)> Array(VARTYPE type, const std::vector<T>& elements, LONG lowerBound = 0) {
    auto copy = std::make_shared<std::vector<T>>(elements);
    return
        [=](VARIANT& v) { Array(type, type, copy->data(), static_cast<ULONG>(copy->size()), lowerBound)(v); };
}

std::function<void(VARIANT&)> Strings(const std::vector<const WCHAR*>& elements) {
    return [=](VARIANT& v) {
        v.vt = VT_ARRAY | VT_BSTR;
        v.parray = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(elements.size()));
        for (LONG i = 0; i < static_cast<LONG>(elements.size()); ++i) {
            if (!elements[i]) continue;
            BSTR text = SysAllocString(elements[i]);
            SafeArrayPutElement(v.parray, &i, text);
            SysFreeString(text);
        }
    };
}

std::vector<std::string> Utf8(const std::vector<WString>& list) {
    std::vector<std::string> out;
    for (const WString& text : list) out.push_back(test::Utf8(text));
    return out;
}

using Texts = std::vector<std::string>;

TEST_F(VariantConvertTest, ScalarValuesBecomeTheirText) {
    struct Case {
        const char* what;
        std::function<void(VARIANT&)> fill;
        const char* expected;
    } cases[] = {
        {"empty", Set(VT_EMPTY, [](VARIANT&) {}), ""},
        {"null", Set(VT_NULL, [](VARIANT&) {}), ""},
        {"I2", Set(VT_I2, [](VARIANT& v) { v.iVal = -5; }), "-5"},
        {"I4", Set(VT_I4, [](VARIANT& v) { v.lVal = std::numeric_limits<LONG>::min(); }), "-2147483648"},
        {"R4", Set(VT_R4, [](VARIANT& v) { v.fltVal = 3.5f; }), "3.500000"},
        {"R8", Set(VT_R8, [](VARIANT& v) { v.dblVal = -0.25; }), "-0.250000"},
        {"R8 1e20", Set(VT_R8, [](VARIANT& v) { v.dblVal = 1e20; }), "100000000000000000000.000000"},
        {"BSTR", Text(W("Intel(R) Core")), "Intel(R) Core"},
        {"BSTR up to its NUL", Text(WString(W("ab\0cd"), 5)), "ab"},
        {"null BSTR", Set(VT_BSTR, [](VARIANT& v) { v.bstrVal = nullptr; }), ""},
        {"BOOL 0xFFFF", Set(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; }), "true"},
        {"BOOL 0", Set(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_FALSE; }), "false"},
        {"BOOL 1", Set(VT_BOOL, [](VARIANT& v) { v.boolVal = 1; }), "false"},
        {"BOOL 0x7FFF", Set(VT_BOOL, [](VARIANT& v) { v.boolVal = 0x7FFF; }), "false"},
        {"UI2", Set(VT_UI2, [](VARIANT& v) { v.uiVal = 65535; }), "65535"},
        {"UI4", Set(VT_UI4, [](VARIANT& v) { v.ulVal = 4294967295u; }), "4294967295"},
        {"I8", Set(VT_I8, [](VARIANT& v) { v.llVal = -1; }), "-1"},
        {"UI8", Set(VT_UI8, [](VARIANT& v) { v.ullVal = std::numeric_limits<ULONGLONG>::max(); }),
         "18446744073709551615"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Value value(c.fill);
        WString out = W("old");
        EXPECT_TRUE(VariantToString(*value, out, false));
        EXPECT_EQ(test::Utf8(out), c.expected);
        std::vector<WString> list{W("old"), W("older")};
        EXPECT_TRUE(VariantToStringList(*value, list));
        EXPECT_EQ(Utf8(list), Texts{c.expected});
    }
}

TEST_F(VariantConvertTest, EmptyValuesFailWhenTheCallerNeedsAText) {
    for (VARTYPE type : {VT_EMPTY, VT_NULL}) {
        Value value(Set(type, [](VARIANT&) {}));
        WString out = W("old");
        EXPECT_FALSE(VariantToString(*value, out, true));
        EXPECT_EQ(test::Utf8(out), "old");
    }
    Value text(Text(W("")));
    WString out = W("old");
    EXPECT_TRUE(VariantToString(*text, out, true)) << "an empty string is a value";
    EXPECT_EQ(test::Utf8(out), "");
}

TEST_F(VariantConvertTest, OtherTypesHaveNoText) {
    struct Case {
        const char* what;
        std::function<void(VARIANT&)> fill;
    } cases[] = {
        {"I1", Set(VT_I1, [](VARIANT& v) { v.cVal = 5; })},
        {"UI1", Set(VT_UI1, [](VARIANT& v) { v.bVal = 5; })},
        {"INT", Set(VT_INT, [](VARIANT& v) { v.intVal = 5; })},
        {"DATE", Set(VT_DATE, [](VARIANT& v) { v.date = 45000.5; })},
        {"CY", Set(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 10000; })},
        {"ERROR", Set(VT_ERROR, [](VARIANT& v) { v.scode = E_FAIL; })},
        {"UNKNOWN", Set(VT_UNKNOWN, [](VARIANT& v) { v.punkVal = nullptr; })},
        {"reference", Set(VT_BYREF | VT_I4, [](VARIANT& v) { v.llVal = 0; })},
        {"array of UI1", Array<BYTE>(VT_UI1, {1, 2})},
        {"array of I1", Array<char>(VT_I1, {1, 2})},
        {"array of VARIANT",
         [](VARIANT& v) {
             v.vt = VT_ARRAY | VT_VARIANT;
             v.parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Value value(c.fill);
        WString out = W("old");
        EXPECT_FALSE(VariantToString(*value, out, false));
        EXPECT_EQ(test::Utf8(out), "old");
        std::vector<WString> list{W("old")};
        EXPECT_FALSE(VariantToStringList(*value, list));
        EXPECT_EQ(Utf8(list), Texts{"old"});
    }
    Value array(Array<LONG>(VT_I4, {1, 2, 3}));
    WString out = W("old");
    EXPECT_FALSE(VariantToString(*array, out, false)) << "arrays convert only as lists";
}

TEST_F(VariantConvertTest, ArraysBecomeListsInIndexOrder) {
    struct Case {
        const char* what;
        std::function<void(VARIANT&)> fill;
        Texts expected;
    } cases[] = {
        {"I2", Array<SHORT>(VT_I2, {-1, 2}), {"-1", "2"}},
        {"I4", Array<LONG>(VT_I4, {1, 2, 3}), {"1", "2", "3"}},
        {"I4 from index 5", Array<LONG>(VT_I4, {7, 8}, 5), {"7", "8"}},
        {"R4", Array<float>(VT_R4, {0.5f, -2.0f}), {"0.500000", "-2.000000"}},
        {"R8", Array<double>(VT_R8, {-0.25, 1e20}), {"-0.250000", "100000000000000000000.000000"}},
        {"BOOL", Array<VARIANT_BOOL>(VT_BOOL, {VARIANT_TRUE, 0, 1}), {"true", "false", "false"}},
        {"UI2", Array<USHORT>(VT_UI2, {65535, 0}), {"65535", "0"}},
        {"UI4", Array<ULONG>(VT_UI4, {4294967295u}), {"4294967295"}},
        {"I8",
         Array<LONGLONG>(VT_I8, {-1, std::numeric_limits<LONGLONG>::max()}),
         {"-1", "9223372036854775807"}},
        {"UI8", Array<ULONGLONG>(VT_UI8, {std::numeric_limits<ULONGLONG>::max()}), {"18446744073709551615"}},
        {"BSTR", Strings({W("a"), nullptr, W("c")}), {"a", "", "c"}},
        {"empty BSTR array", Strings({}), {}},
        {"empty I4 array", Array<LONG>(VT_I4, {}), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Value value(c.fill);
        std::vector<WString> list{W("old")};
        EXPECT_TRUE(VariantToStringList(*value, list));
        EXPECT_EQ(Utf8(list), c.expected);
        // The caller's array is read through a copy and left as it was.
        EXPECT_EQ(value.Get().parray->cLocks, 0u);
        EXPECT_EQ(sim::Open().safeArrays, 1);
    }
}

TEST_F(VariantConvertTest, AnElementWithoutTextEmptiesTheList) {
    const BYTE bytes[] = {1, 2, 3, 4, 5, 6, 7, 8};
    const LONG numbers[] = {1, 2};
    struct Case {
        const char* what;
        std::function<void(VARIANT&)> fill;
    } cases[] = {
        // The VARIANT names a type the array's elements do not have.
        {"bytes in a VT_I4 array", Array(VT_I4, VT_UI1, bytes, 8)},
        {"numbers in a VT_BSTR array", Array(VT_BSTR, VT_I4, numbers, 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Value value(c.fill);
        std::vector<WString> list{W("old")};
        EXPECT_FALSE(VariantToStringList(*value, list));
        EXPECT_TRUE(list.empty());
    }
}

TEST_F(VariantConvertTest, ArrayFailuresReachTheCallerAndLeakNothing) {
    struct Case {
        const char* function;
        HRESULT error;
    } cases[] = {
        {"SafeArrayCopy", E_OUTOFMEMORY},
        {"SafeArrayGetLBound", DISP_E_BADINDEX},
        {"SafeArrayGetUBound", DISP_E_BADINDEX},
        {"SafeArrayLock", E_UNEXPECTED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        for (auto fill : {Strings({W("a"), W("b")}), Array<LONG>(VT_I4, {1, 2})}) {
            Value value(fill);
            const sim::OpenCounts before = sim::Open();
            sim::FailCall(c.function, 1, static_cast<std::uint32_t>(c.error));
            std::vector<WString> list{W("old")};
            try {
                VariantToStringList(*value, list);
                ADD_FAILURE() << "no exception";
            } catch (const SafeArrayError& error) {
                EXPECT_EQ(error.Code(), c.error);
            }
            EXPECT_EQ(sim::Open(), before) << sim::Describe(sim::Open());
            EXPECT_EQ(Utf8(list), Texts{"old"});
            sim::ClearFaults();
        }
    }

    // An array VARIANT without an array is a bad array.
    Value missing(Set(VT_ARRAY | VT_I4, [](VARIANT& v) { v.parray = nullptr; }));
    std::vector<WString> list;
    EXPECT_THROW(VariantToStringList(*missing, list), SafeArrayError);
}

TEST_F(VariantConvertTest, CimDateTimesConvertToUtc) {
    struct Case {
        const char* text;
        SYSTEMTIME expected;  // year, month, day of week, day, hour, minute, second, ms
    } cases[] = {
        {"20240131235959.500000+060", {2024, 1, 3, 31, 22, 59, 59, 500}},
        {"20240131235959.500000-300", {2024, 2, 4, 1, 4, 59, 59, 500}},  // into the next day and month
        {"20240301003000.000000+120", {2024, 2, 4, 29, 22, 30, 0, 0}},   // back to a leap day
        {"20231231230000.000000-060", {2024, 1, 1, 1, 0, 0, 0, 0}},      // into the next year
        {"20240615120000.123456+000", {2024, 6, 6, 15, 12, 0, 0, 123}},
        {"20240615120000.999999-000", {2024, 6, 6, 15, 12, 0, 0, 999}},
        {"20240615120000.000000+0600", {2024, 6, 6, 15, 11, 0, 0, 0}},  // the offset takes four characters
        {" 20240615120000.000000 +60", {2024, 6, 6, 15, 11, 0, 0, 0}},  // numbers skip white space
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SYSTEMTIME out{};
        ASSERT_TRUE(CimDateTimeToSystemTime(Wide(c.text), out));
        EXPECT_EQ(out.wYear, c.expected.wYear);
        EXPECT_EQ(out.wMonth, c.expected.wMonth);
        EXPECT_EQ(out.wDayOfWeek, c.expected.wDayOfWeek);
        EXPECT_EQ(out.wDay, c.expected.wDay);
        EXPECT_EQ(out.wHour, c.expected.wHour);
        EXPECT_EQ(out.wMinute, c.expected.wMinute);
        EXPECT_EQ(out.wSecond, c.expected.wSecond);
        EXPECT_EQ(out.wMilliseconds, c.expected.wMilliseconds);
    }
}

TEST_F(VariantConvertTest, IncompleteOrImpossibleCimDateTimesFail) {
    const char* texts[] = {
        "",
        "20240131235959",              // no fraction, no offset
        "20240131235959+060",          // no fraction
        "20240131235959.500000",       // no offset
        "20240131235959 .500000+060",  // the full stop follows the seconds directly
        "2024013123****.******+060",   // WMI's wildcards
        "20241301000000.000000+000",   // month 13
        "20240230000000.000000+000",   // 30 February
        "20230229000000.000000+000",   // 29 February of a common year
        "20240101240000.000000+000",   // hour 24
        "2024-1-1000000.000000+000",   // a negative month wraps to 65535
        "16010101000000.000000+060",   // before 1601 in UTC
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        SYSTEMTIME out{1999, 1, 5, 1, 0, 0, 0, 0};
        EXPECT_FALSE(CimDateTimeToSystemTime(Wide(text), out));
        EXPECT_EQ(out.wYear, 1999);
        EXPECT_EQ(out.wDayOfWeek, 5);
    }
    // Reading stops at a NUL.
    SYSTEMTIME out{};
    EXPECT_FALSE(CimDateTimeToSystemTime(WString(W("20240131235959.500000\0+060"), 26), out));
}

}  // namespace
}  // namespace hostlens::test
