// WMI values as the wmi command prints them, typed from their VARIANT.
#include <gtest/gtest.h>

#include <vector>

#include "support/machine_test.h"
#include "tools/hostlens/variant_json.h"

namespace {

using hostlens::cli::Json;
using hostlens::cli::RowToJson;
using hostlens::cli::VariantToJson;

class VariantJsonTest : public hostlens::test::MachineTest {};

VARIANT Scalar(VARTYPE type, LONGLONG bits) {
    VARIANT value;
    VariantInit(&value);
    value.vt = type;
    value.llVal = bits;
    return value;
}

VARIANT Real(VARTYPE type, double number) {
    VARIANT value;
    VariantInit(&value);
    value.vt = type;
    if (type == VT_R4) {
        value.fltVal = static_cast<float>(number);
    } else {
        value.dblVal = number;
    }
    return value;
}

TEST_F(VariantJsonTest, ScalarsAreTypedFromTheVariantType) {
    struct Case {
        const char* name;
        VARIANT value;
        Json expected;
    };
    const Case cases[] = {
        {"VT_EMPTY", Scalar(VT_EMPTY, 0), nullptr},
        {"VT_NULL", Scalar(VT_NULL, 0), nullptr},
        {"VT_I1", Scalar(VT_I1, 0xFF), -1},
        {"VT_UI1", Scalar(VT_UI1, 0xFF), 255},
        {"VT_I2", Scalar(VT_I2, 0x8000), -32768},
        {"VT_UI2", Scalar(VT_UI2, 0xFFFF), 65535},
        {"VT_I4", Scalar(VT_I4, 0xFFFFFFFF), -1},
        {"VT_UI4", Scalar(VT_UI4, 0xFFFFFFFF), 4294967295U},
        {"VT_I8", Scalar(VT_I8, -5000000000LL), -5000000000LL},
        {"VT_UI8", Scalar(VT_UI8, -1), 18446744073709551615ULL},
        {"VT_R4", Real(VT_R4, 0.5), 0.5},
        {"VT_R8", Real(VT_R8, -1234.5678), -1234.5678},
        {"VT_BOOL true", Scalar(VT_BOOL, static_cast<USHORT>(VARIANT_TRUE)), true},
        {"VT_BOOL false", Scalar(VT_BOOL, VARIANT_FALSE), false},
        // No property of a WMI object comes back as an interface: its type is shown.
        {"VT_UNKNOWN", Scalar(VT_UNKNOWN, 0), Json{{"vt", 13}}},
    };
    for (const Case& c : cases) EXPECT_EQ(VariantToJson(c.value), c.expected) << c.name;
}

TEST_F(VariantJsonTest, StringsAreUtf8AndANullStringIsEmpty) {
    struct Case {
        const WCHAR* text;
        Json expected;
    };
    const Case cases[] = {
        {W("Intel(R) Core(TM) i7"), "Intel(R) Core(TM) i7"},
        {W("Stra\u00dfe \U0001F600"),
         "Stra\xc3\x9f"
         "e \xf0\x9f\x98\x80"},
        {W(""), ""},
        {nullptr, ""},
    };
    for (const Case& c : cases) {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = c.text == nullptr ? nullptr : SysAllocString(c.text);
        EXPECT_EQ(VariantToJson(value), c.expected) << c.expected;
        VariantClear(&value);
    }
}

TEST_F(VariantJsonTest, ArraysAreListsFromTheirLowerBound) {
    VARIANT numbers;
    VariantInit(&numbers);
    numbers.vt = VT_ARRAY | VT_I4;
    numbers.parray = SafeArrayCreateVector(VT_I4, 1, 3);
    for (LONG index = 1; index <= 3; ++index) {
        LONG element = index * -10;
        ASSERT_EQ(SafeArrayPutElement(numbers.parray, &index, &element), S_OK);
    }

    VARIANT texts;
    VariantInit(&texts);
    texts.vt = VT_ARRAY | VT_BSTR;
    texts.parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
    const WCHAR* words[] = {W("192.168.1.20"), W("fe80::1")};
    for (LONG index = 0; index < 2; ++index) {
        BSTR text = SysAllocString(words[index]);
        ASSERT_EQ(SafeArrayPutElement(texts.parray, &index, text), S_OK);
        SysFreeString(text);
    }

    VARIANT mixed;
    VariantInit(&mixed);
    mixed.vt = VT_ARRAY | VT_VARIANT;
    mixed.parray = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    VARIANT flag = Scalar(VT_BOOL, static_cast<USHORT>(VARIANT_TRUE));
    VARIANT nothing = Scalar(VT_NULL, 0);
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(mixed.parray, &index, &flag), S_OK);
    index = 1;
    ASSERT_EQ(SafeArrayPutElement(mixed.parray, &index, &nothing), S_OK);

    VARIANT empty;
    VariantInit(&empty);
    empty.vt = VT_ARRAY | VT_UI2;
    empty.parray = SafeArrayCreateVector(VT_UI2, 0, 0);

    VARIANT missing = Scalar(VT_ARRAY | VT_I4, 0);  // no SAFEARRAY behind it

    struct Case {
        const char* name;
        VARIANT* value;
        Json expected;
    };
    const Case cases[] = {
        {"VT_ARRAY|VT_I4", &numbers, Json::array({-10, -20, -30})},
        {"VT_ARRAY|VT_BSTR", &texts, Json::array({"192.168.1.20", "fe80::1"})},
        {"VT_ARRAY|VT_VARIANT", &mixed, Json::array({true, nullptr})},
        {"empty VT_ARRAY|VT_UI2", &empty, Json::array()},
        {"VT_ARRAY without array", &missing, Json{{"vt", VT_ARRAY | VT_I4}}},
    };
    for (const Case& c : cases) EXPECT_EQ(VariantToJson(*c.value), c.expected) << c.name;

    // The element copies were freed: the fixture checks that no BSTR or SAFEARRAY is left.
    for (VARIANT* value : {&numbers, &texts, &mixed, &empty}) VariantClear(value);
}

TEST_F(VariantJsonTest, ARowIsAnObjectOfItsProperties) {
    VARIANT name;
    VariantInit(&name);
    name.vt = VT_BSTR;
    name.bstrVal = SysAllocString(W("C:"));
    VARIANT size = Scalar(VT_UI8, 500107862016LL);
    VARIANT label = Scalar(VT_NULL, 0);
    {
        WmiRow row;
        row.emplace(W("DeviceID"), WmiValue(name));
        row.emplace(W("Size"), WmiValue(size));
        row.emplace(W("VolumeName"), WmiValue(label));
        EXPECT_EQ(RowToJson(row), Json::parse(R"({"DeviceID":"C:","Size":500107862016,"VolumeName":null})"));
    }
    EXPECT_EQ(RowToJson(WmiRow{}), Json::object());
    VariantClear(&name);
}

}  // namespace
